// The layout dispatch run over a clip held in memory, as the tests and the
// fuzz target both need it: walked whole, or through the segmented scan.
#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "telemetry/layout_scan.hpp"

namespace camvault::testing {

// Reads `data` as a file; with `short_reads` each read returns fewer bytes
// than asked, as a slow card or a pipe may.
inline PositionalReader memory_reader(const std::vector<uint8_t>& data, bool short_reads = false) {
    return [&data, short_reads](uint8_t* buf, size_t size, uint64_t offset) -> ptrdiff_t {
        if (offset >= data.size())
            return 0;
        size_t n = std::min<uint64_t>(size, data.size() - offset);
        if (short_reads && n > 1)
            n = 1 + (offset * 2654435761u) % n;
        std::memcpy(buf, data.data() + offset, n);
        return static_cast<ptrdiff_t>(n);
    };
}

struct Decoded {
    std::vector<TelemetryRecord> records;
    std::vector<TelemetryFix> fixes;
    LayoutSet layouts = 0;
};

// What the dispatch decodes from `clip`: walked in memory (`options` null) or
// through the segmented scan; nothing when the scan did not run to its end.
inline std::optional<Decoded> dispatch_layouts(const std::vector<uint8_t>& clip,
                                               const SegmentedScanOptions* options,
                                               bool short_reads = false) {
    Decoded d;
    const PositionalReader read = memory_reader(clip, short_reads);
    LayoutDispatcher dispatcher(
        read, clip.size(), read_gps_index(read, clip.size()),
        [&](const TelemetryRecord& r) {
            d.records.push_back(r);
            return true;
        },
        [&](const TelemetryFix& f) {
            d.fixes.push_back(f);
            return true;
        });
    const MarkerVisitor visit = [&](const MarkerView& v) { return dispatcher.visit(v); };
    const bool finished =
        options == nullptr
            ? walk_markers_in_memory(clip.data(), clip.size(), visit)
            : scan_segment_markers(read, clip.size(), visit, *options).status == ScanStatus::done;
    if (!finished)
        return std::nullopt;
    d.layouts = dispatcher.layouts();
    return d;
}

}  // namespace camvault::testing
