// Extraction of one clip's telemetry into its telemetry script file.
#include "telemetry/extract.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/fs/atomic_file.hpp"
#include "base/fs/files.hpp"
#include "base/fs/unique_fd.hpp"
#include "base/js_escape.hpp"
#include "telemetry/fix_text.hpp"
#include "telemetry/layout_scan.hpp"
#include "telemetry/script_text.hpp"
#include "telemetry/segmented_scan.hpp"
#include "telemetry/track_telemetry.hpp"

namespace camvault {

namespace {

// Collects the script text and hands it to the temporary file in large pieces,
// so that a clip full of blocks never needs its whole script in memory.
class ScriptOutput {
  public:
    explicit ScriptOutput(const std::string& clip_name)
        : clip_name_(clip_name), escaped_name_(js_escape(clip_name)) {}

    bool open(const std::string& script_path) {
        if (!file_.open(script_path)) {
            return false;
        }
        text_ = script_header(clip_name_);
        return true;
    }

    bool add(const TelemetryRecord& record) {
        return add_line([&] { append_record_line(text_, escaped_name_, record); });
    }

    bool add_fix(const TelemetryFix& fix) {
        return add_line([&] { append_fix_line(text_, escaped_name_, fix); });
    }

    // True once a record beyond the limit came: the scan is to stop.
    bool cut() const { return cut_; }

    ExtractResult finish(LayoutSet layouts) {
        if (cut_)
            text_ +=
                "data_cut['" + escaped_name_ + "']=" + std::to_string(kMaxRecordsPerClip) + ";";
        if (!file_.append(text_) || !file_.commit())
            return fail(file_.error());
        return Extraction{records_, cut_, layouts};
    }

    ExtractResult failed() const { return fail(file_.error()); }

    RecordSink sink() {
        return [this](const TelemetryRecord& r) { return add(r); };
    }

    FixSink fix_sink() {
        return [this](const TelemetryFix& f) { return add_fix(f); };
    }

  private:
    static constexpr size_t kFlushSize = 256 * 1024;

    // False stops the scan: the script is full, or it cannot be written.
    template <typename AppendLine>
    bool add_line(const AppendLine& append) {
        if (full())
            return false;
        append();
        ++records_;
        if (text_.size() >= kFlushSize) {
            if (!file_.append(text_))
                return false;
            text_.clear();
        }
        return true;
    }

    bool full() {
        if (records_ < kMaxRecordsPerClip)
            return false;
        cut_ = true;
        return true;
    }

    std::string clip_name_;
    std::string escaped_name_;
    std::string text_;
    AtomicFileWriter file_;
    uint64_t records_ = 0;
    bool cut_ = false;
};

}  // namespace

ExtractResult splitData(std::span<const uint8_t> bytes, const std::string& script_path,
                        const std::string& clip_name) {
    ScriptOutput out(clip_name);
    if (!out.open(script_path)) {
        return out.failed();
    }
    const PositionalReader reader = [bytes](uint8_t* buf, size_t size, uint64_t offset) {
        if (offset >= bytes.size())
            return ptrdiff_t{0};
        size = static_cast<size_t>(std::min<uint64_t>(size, bytes.size() - offset));
        std::memcpy(buf, bytes.data() + offset, size);
        return static_cast<ptrdiff_t>(size);
    };
    LayoutDispatcher dispatch(reader, bytes.size(), read_gps_index(reader, bytes.size()),
                              out.sink(), out.fix_sink());
    if (!walk_markers_in_memory(bytes.data(), bytes.size(),
                                [&](const MarkerView& v) { return dispatch.visit(v); }) &&
        !out.cut()) {
        return out.failed();
    }
    if (out.cut())
        return out.finish(dispatch.layouts());
    const TrackTelemetryResult tracks =
        decode_track_telemetry(reader, bytes.size(), out.fix_sink());
    if (tracks.stopped && !out.cut())
        return out.failed();
    return out.finish(dispatch.layouts() | tracks.layouts);
}

namespace {

enum class ClipScanStatus { done, read_failed, stopped };

struct ClipScan {
    ClipScanStatus status = ClipScanStatus::done;
    std::string error;  // for read_failed
    LayoutSet layouts = 0;
};

// Reads the clip file in segments on a few threads and hands its records and
// fixes to the sinks in file order. `ready` runs once the clip turned out
// readable (a writer opens its output there); false from it stops the scan.
ClipScan scan_clip_file(const std::string& clip_path, const std::function<bool()>& ready,
                        const RecordSink& records, const FixSink& fixes,
                        const ExtractProgress& progress) {
    const auto read_error = [&](int errnum) {
        return ClipScan{ClipScanStatus::read_failed,
                        "cannot read " + clip_path + ": " + std::strerror(errnum), 0};
    };
    // A pipe, a device or a folder named like a clip would block the read or
    // never end: only regular files are read.
    const auto opened = open_regular_file(clip_path);
    if (!opened)
        return ClipScan{ClipScanStatus::read_failed, opened.error(), 0};
    const int fd = *opened;
    const UniqueFd closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return read_error(errno);
    }
    const uint64_t total = static_cast<uint64_t>(st.st_size);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    if (!ready()) {
        return {ClipScanStatus::stopped, "", 0};
    }

    const PositionalReader reader = [fd](uint8_t* buf, size_t size, uint64_t offset) {
        for (;;) {
            const ssize_t n = ::pread(fd, buf, size, static_cast<off_t>(offset));
            if (n >= 0)
                return static_cast<ptrdiff_t>(n);
            if (errno != EINTR)
                return static_cast<ptrdiff_t>(-errno);
        }
    };
    SegmentedScanOptions options;
    options.workers = default_scan_workers();
    // Every 16 MB is often enough for a progress bar and rare enough for a
    // callback that hands each report to the main thread.
    constexpr uint64_t kProgressStep = uint64_t{16} << 20;
    uint64_t reported = 0;
    const auto report = [&](uint64_t done) {
        if (done - reported < kProgressStep && done < total)
            return;
        reported = done;
        if (progress)
            progress(done, total);
    };
    LayoutDispatcher dispatch(reader, total, read_gps_index(reader, total), records, fixes);
    const SegmentedScanResult scan = scan_segment_markers(
        reader, total, [&](const MarkerView& v) { return dispatch.visit(v); }, options, report);
    switch (scan.status) {
        case ScanStatus::read_failed:
            return read_error(scan.error);
        case ScanStatus::stopped:
            if (dispatch.read_error() != 0)
                return read_error(dispatch.read_error());
            return {ClipScanStatus::stopped, "", dispatch.layouts()};
        case ScanStatus::done:
            break;
    }
    const TrackTelemetryResult tracks = decode_track_telemetry(reader, total, fixes);
    if (tracks.read_error != 0)
        return read_error(tracks.read_error);
    if (tracks.stopped)
        return {ClipScanStatus::stopped, "", 0};
    if (reported != total)
        report(total);
    return {ClipScanStatus::done, "", dispatch.layouts() | tracks.layouts};
}

}  // namespace

ExtractResult extract_clip_file(const std::string& clip_path, const std::string& script_path,
                                const std::string& clip_name, const ExtractProgress& progress) {
    ScriptOutput out(clip_name);
    const ClipScan scan = scan_clip_file(
        clip_path, [&] { return out.open(script_path); }, out.sink(), out.fix_sink(), progress);
    switch (scan.status) {
        case ClipScanStatus::read_failed:
            return fail(scan.error);
        case ClipScanStatus::stopped:
            // The sinks stop the scan when the clip holds more records than a
            // script may: what was read is written, marked as cut.
            if (out.cut())
                return out.finish(scan.layouts);
            return out.failed();
        case ClipScanStatus::done:
            break;
    }
    return out.finish(scan.layouts);
}

Result<ClipRoute> read_clip_route(const std::string& clip_path, const std::string& clip_name) {
    ClipRoute route{clip_name, {}};
    const ClipScan scan = scan_clip_file(
        clip_path, [] { return true; },
        [&](const TelemetryRecord& r) {
            route.points.push_back(route_point(r));
            return true;
        },
        [&](const TelemetryFix& f) {
            route.points.push_back(route_point(f));
            return true;
        },
        {});
    if (scan.status != ClipScanStatus::done)
        return fail(scan.error);
    return route;
}

}  // namespace camvault
