// Per-block dispatch of the marker scan to the layout decoders.
#include "telemetry/layout_scan.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace camvault {

LayoutDispatcher::LayoutDispatcher(const PositionalReader& read, uint64_t size,
                                   std::vector<GpsIndexEntry> index, RecordSink records,
                                   FixSink fixes)
    : read_(read),
      size_(size),
      index_(std::move(index)),
      records_(std::move(records)),
      fixes_(std::move(fixes)) {}

std::span<const uint8_t> LayoutDispatcher::box_bytes(const MarkerView& view, uint64_t box_start,
                                                     size_t n) {
    n = static_cast<size_t>(std::min<uint64_t>(n, size_ - box_start));
    // Usually the scan's own bytes hold it all.
    if (view.before >= 4 && view.after + 4 >= n)
        return {view.marker - 4, n};
    scratch_.resize(n);
    size_t done = 0;
    while (done < n) {
        const ptrdiff_t got = read_(scratch_.data() + done, n - done, box_start + done);
        if (got < 0) {
            read_error_ = static_cast<int>(-got);
            return {};
        }
        if (got == 0)
            break;  // the file is shorter than it was: decode what there is
        done += static_cast<size_t>(got);
    }
    return {scratch_.data(), done};
}

bool LayoutDispatcher::visit(const MarkerView& view) {
    TelemetryLayout layout = TelemetryLayout::nextbase_block;
    BoxWay way = BoxWay::scanned;
    uint64_t length = 0;
    std::span<const uint8_t> head;
    if (view.offset >= 4) {
        const uint64_t box_start = view.offset - 4;
        const GpsIndexEntry* entry = find_gps_entry(index_, box_start);
        head = box_bytes(view, box_start, kIdentifyBytes);
        if (read_error_ != 0)
            return false;
        if (entry != nullptr) {
            way = BoxWay::indexed;
            length = entry->size;
        } else if (head.size() >= 4) {
            length = uint64_t{head[0]} << 24 | uint64_t{head[1]} << 16 | uint64_t{head[2]} << 8 |
                     head[3];
        }
        layout = identify_freegps(head, way, length);
    }
    if (layout == TelemetryLayout::nextbase_block) {
        std::array<TelemetryRecord, kRecordsPerBlock> block;
        const size_t used = decode_block(view.marker, block);
        if (used > 0)
            layouts_ |= layout_bit(layout);
        for (size_t r = 0; r < used; ++r) {
            if (!records_(block[r]))
                return false;
        }
        return true;
    }
    layouts_ |= layout_bit(layout);
    if (layout == TelemetryLayout::innovv && !movie_time_read_) {
        // Only INNOVV boxes need the movie's time, so only they pay its read.
        movie_time_read_ = true;
        state_.movie_created = read_movie_creation_time(read_, size_);
    }
    const size_t wanted = std::min(freegps_bytes_needed(layout, length), kMaxBoxBytes);
    const std::span<const uint8_t> box = box_bytes(view, view.offset - 4, wanted);
    if (read_error_ != 0)
        return false;
    return decode_freegps(layout, box, length, state_, fixes_, way);
}

bool walk_markers_in_memory(const uint8_t* data, size_t size, const MarkerVisitor& visit) {
    size_t position = 0;
    for (;;) {
        const size_t m = find_marker(data, size, position);
        if (m == size || size - m < kBlockSpan)
            return true;
        if (!visit(MarkerView{data + m, m, size - m, m}))
            return false;
        position = m + kMarkerStep;
    }
}

}  // namespace camvault
