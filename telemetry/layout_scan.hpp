// Per-block dispatch of the marker scan: every `freeGPS` marker the scan takes
// is handed to the layout whose signature its box carries (the registry in
// freegps_layouts.hpp), and every other one is decoded as the original
// 332-byte block, exactly as before. The scan itself, its 332-byte step and
// its speed are unchanged: a box's layout is judged from bytes the scan
// already holds, and only the few layouts that need a whole box read it.
#pragma once

#include <cstdint>
#include <vector>

#include "telemetry/fix.hpp"
#include "telemetry/freegps_layouts.hpp"
#include "telemetry/gps_index.hpp"
#include "telemetry/segmented_scan.hpp"

namespace camvault {

// A box is never read beyond this many bytes (cameras write 32 KB).
inline constexpr size_t kMaxBoxBytes = size_t{1} << 20;

class LayoutDispatcher {
  public:
    // `read` and `size` are the clip's (used for boxes that reach past the
    // bytes the scan holds); `index` is the clip's `gps ` box.
    LayoutDispatcher(const PositionalReader& read, uint64_t size, std::vector<GpsIndexEntry> index,
                     RecordSink records, FixSink fixes);

    // The scan's visitor: false when a sink asked to stop or a read failed.
    bool visit(const MarkerView& view);

    // Every layout whose box was found (the original one only when it gave records).
    LayoutSet layouts() const { return layouts_; }
    // errno of a failed read, else 0.
    int read_error() const { return read_error_; }

  private:
    std::span<const uint8_t> box_bytes(const MarkerView& view, uint64_t box_start, size_t n);

    const PositionalReader& read_;
    uint64_t size_;
    std::vector<GpsIndexEntry> index_;
    RecordSink records_;
    FixSink fixes_;
    FreeGpsState state_;
    bool movie_time_read_ = false;  // state_.movie_created holds the mvhd's answer
    std::vector<uint8_t> scratch_;
    LayoutSet layouts_ = 0;
    int read_error_ = 0;
};

// The marker walk of scan_in_memory over a clip held in memory, handing each
// marker it takes to the visitor. False when the visitor asked to stop.
bool walk_markers_in_memory(const uint8_t* data, size_t size, const MarkerVisitor& visit);

}  // namespace camvault
