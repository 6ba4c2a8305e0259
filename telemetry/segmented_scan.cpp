// The block scan for clip files, segment by segment on worker threads.
#include "telemetry/segmented_scan.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace camvault {

namespace {

// Bytes read past a segment's own range, so that the block of any marker that
// begins in it can be decoded from the segment alone.
constexpr size_t kOverlap = kBlockSpan - 1;

// The segments' buffers in one block of huge pages where the system has them:
// a few faults instead of one per 4 KB page, which shows at 300 segments a clip.
class SegmentArena {
  public:
    SegmentArena() = default;
    explicit SegmentArena(size_t size) : size_((size + kHugePage - 1) / kHugePage * kHugePage) {
        void* p = std::aligned_alloc(kHugePage, size_);
        if (p == nullptr)
            throw std::bad_alloc();
        ::madvise(p, size_, MADV_HUGEPAGE);  // only a hint: fine if it fails
        data_.reset(static_cast<uint8_t*>(p));
    }
    uint8_t* data() const { return data_.get(); }

  private:
    static constexpr size_t kHugePage = size_t{2} << 20;
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t, Free> data_;
    size_t size_ = 0;
};

struct Segment {
    uint8_t* bytes = nullptr;  // in the scan's SegmentArena
    uint64_t index = 0;
    uint64_t base = 0;        // file offset of bytes[0]
    size_t own = 0;           // length of the segment's own range
    size_t filled = 0;        // bytes read: own range, overlap, less at the file's end
    bool file_ended = false;  // the file ended sooner than its size said
    int error = 0;
    // Markers that begin in the own range, stepping 332 bytes on from each as
    // the scan does, as if the scan started at the segment's first byte.
    std::vector<size_t> markers;
    enum class State { free, filling, filled } state = State::free;
};

// The positions below this can begin a marker whose seven bytes have been read.
size_t searchable_end(const Segment& s) {
    const size_t complete = s.filled >= kMarker.size() - 1 ? s.filled - (kMarker.size() - 1) : 0;
    return std::min(s.own, complete);
}

// Finds the next marker at or after `from` that begins in the searchable part.
size_t next_marker(const Segment& s, size_t from, size_t end) {
    const size_t window = end + kMarker.size() - 1;
    const size_t m = find_marker(s.bytes, window, from);
    return m == window ? end : m;
}

// A worker's part: read the segment piece by piece, searching each piece while
// it is still in the cache.
void fill_segment(Segment& s, const PositionalReader& read, uint64_t file_size, size_t piece) {
    const uint64_t left = file_size - s.base;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(s.own + kOverlap, left));
    s.filled = 0;
    s.file_ended = false;
    s.error = 0;
    s.markers.clear();
    size_t next = 0;
    const auto search = [&] {
        const size_t end = searchable_end(s);
        while (next < end) {
            const size_t m = next_marker(s, next, end);
            if (m == end) {
                next = end;
                break;
            }
            s.markers.push_back(m);
            next = m + kMarkerStep;
        }
    };
    while (s.filled < want) {
        const ptrdiff_t n =
            read(s.bytes + s.filled, std::min(piece, want - s.filled), s.base + s.filled);
        if (n < 0) {
            s.error = static_cast<int>(-n);
            return;
        }
        if (n == 0) {
            s.file_ended = true;
            break;
        }
        s.filled += static_cast<size_t>(n);
        search();
    }
    search();
}

enum class MergeOutcome { go_on, scan_ended, stopped };

// The calling thread's part for one segment: the markers the scan really takes,
// given where the previous segment left the search (`next`, a file offset),
// handed to the visitor in order.
MergeOutcome merge_segment(const Segment& s, uint64_t clip_end, uint64_t& next,
                           const MarkerVisitor& visit) {
    const auto take = [&](size_t m) {
        if (s.base + m + kBlockSpan > clip_end) {
            return MergeOutcome::scan_ended;  // no whole block: nothing later has one either
        }
        const MarkerView view{s.bytes + m, m, s.filled - m, s.base + m};
        if (!visit(view))
            return MergeOutcome::stopped;
        next = s.base + m + kMarkerStep;
        return MergeOutcome::go_on;
    };

    size_t i = 0;
    if (next > s.base) {
        // The previous segment's last block steps into this one: search on from
        // there until the search meets a marker the worker found; from that
        // marker on both step alike.
        const size_t end = searchable_end(s);
        size_t pos = static_cast<size_t>(next - s.base);
        i = s.markers.size();
        while (pos < end) {
            const size_t m = next_marker(s, pos, end);
            if (m == end)
                break;
            const auto hit = std::lower_bound(s.markers.begin(), s.markers.end(), m);
            if (hit != s.markers.end() && *hit == m) {
                i = static_cast<size_t>(hit - s.markers.begin());
                break;
            }
            if (const auto outcome = take(m); outcome != MergeOutcome::go_on)
                return outcome;
            pos = m + kMarkerStep;
        }
    }
    for (; i < s.markers.size(); ++i) {
        if (const auto outcome = take(s.markers[i]); outcome != MergeOutcome::go_on)
            return outcome;
    }
    return MergeOutcome::go_on;
}

class SegmentedScan {
  public:
    SegmentedScan(const PositionalReader& read, uint64_t size, const SegmentedScanOptions& options)
        : read_(read),
          size_(size),
          segment_size_(std::max<uint64_t>(options.segment_size, 1)),
          piece_(std::max<size_t>(options.piece_size, 1)),
          count_((size + segment_size_ - 1) / segment_size_) {
        const uint64_t useful = count_ > 1 ? count_ : 0;
        workers_ = static_cast<unsigned>(std::min<uint64_t>(options.workers, useful));
        slots_.resize(workers_ + 1);
        const size_t stride = static_cast<size_t>(std::min(segment_size_, size)) + kOverlap;
        arena_ = SegmentArena(stride * slots_.size());
        for (size_t i = 0; i < slots_.size(); ++i)
            slots_[i].bytes = arena_.data() + i * stride;
    }

    ~SegmentedScan() { stop_workers(); }

    SegmentedScanResult run(const MarkerVisitor& visit,
                            const std::function<void(uint64_t)>& progress) {
        start_workers();
        uint64_t next = 0;
        for (uint64_t k = 0; k < count_; ++k) {
            Segment& s = workers_ == 0 ? fill_here(k) : wait_filled(k);
            if (s.error != 0)
                return {ScanStatus::read_failed, s.error};
            const uint64_t clip_end = s.file_ended ? s.base + s.filled : size_;
            const MergeOutcome outcome = merge_segment(s, clip_end, next, visit);
            if (outcome == MergeOutcome::stopped)
                return {ScanStatus::stopped, 0};
            if (progress)
                progress(s.base + s.own);
            if (outcome == MergeOutcome::scan_ended || s.file_ended)
                break;
            release(s);
        }
        return {ScanStatus::done, 0};
    }

  private:
    void prepare(Segment& s, uint64_t k) const {
        s.index = k;
        s.base = k * segment_size_;
        s.own = static_cast<size_t>(std::min(segment_size_, size_ - s.base));
    }

    Segment& fill_here(uint64_t k) {
        Segment& s = slots_[0];
        prepare(s, k);
        fill_segment(s, read_, size_, piece_);
        return s;
    }

    void start_workers() {
        for (unsigned w = 0; w < workers_; ++w) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;  // fewer workers; at least the calling thread fills segments
            }
        }
        workers_ = static_cast<unsigned>(threads_.size());
    }

    void stop_workers() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        slot_freed_.notify_all();
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
    }

    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            slot_freed_.wait(lock, [&] {
                return stopping_ || next_to_fill_ >= count_ ||
                       slot_of(next_to_fill_).state == Segment::State::free;
            });
            if (stopping_ || next_to_fill_ >= count_)
                return;
            const uint64_t k = next_to_fill_++;
            Segment& s = slot_of(k);
            s.state = Segment::State::filling;
            prepare(s, k);
            lock.unlock();
            fill_segment(s, read_, size_, piece_);
            lock.lock();
            s.state = Segment::State::filled;
            // Only the calling thread waits for filled segments.
            slot_filled_.notify_one();
        }
    }

    Segment& wait_filled(uint64_t k) {
        Segment& s = slot_of(k);
        std::unique_lock lock(mutex_);
        slot_filled_.wait(lock, [&] { return s.state == Segment::State::filled && s.index == k; });
        return s;
    }

    void release(Segment& s) {
        if (workers_ == 0)
            return;
        {
            std::lock_guard lock(mutex_);
            s.state = Segment::State::free;
        }
        // One slot is free: one worker can fill it.
        slot_freed_.notify_one();
    }

    Segment& slot_of(uint64_t k) { return slots_[k % slots_.size()]; }

    const PositionalReader& read_;
    const uint64_t size_;
    const uint64_t segment_size_;
    const size_t piece_;
    const uint64_t count_;
    unsigned workers_ = 0;
    SegmentArena arena_;
    std::vector<Segment> slots_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable slot_freed_;   // workers wait for a slot to fill
    std::condition_variable slot_filled_;  // the calling thread waits for the next segment
    uint64_t next_to_fill_ = 0;
    bool stopping_ = false;
};

}  // namespace

SegmentedScanResult scan_segment_markers(const PositionalReader& read, uint64_t size,
                                         const MarkerVisitor& visit,
                                         const SegmentedScanOptions& options,
                                         const std::function<void(uint64_t)>& progress) {
    if (size == 0)
        return {};
    SegmentedScan scan(read, size, options);
    return scan.run(visit, progress);
}

SegmentedScanResult scan_segments(const PositionalReader& read, uint64_t size,
                                  const RecordSink& sink, const SegmentedScanOptions& options,
                                  const std::function<void(uint64_t)>& progress) {
    std::array<TelemetryRecord, kRecordsPerBlock> block;
    const MarkerVisitor decode = [&](const MarkerView& view) {
        const size_t used = decode_block(view.marker, block);
        for (size_t r = 0; r < used; ++r) {
            if (!sink(block[r]))
                return false;
        }
        return true;
    };
    return scan_segment_markers(read, size, decode, options, progress);
}

unsigned default_scan_workers() {
    return std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
}

}  // namespace camvault
