// The block scan for clip files: the file is cut into segments that worker
// threads read and search side by side (each reads its segment in pieces small
// enough to stay in its processor's cache and searches them while they are
// there), while the calling thread takes the segments in file order, applies
// the scan's 332-byte step across their borders and decodes the blocks. The
// records are exactly those of the whole-buffer reference scan; memory stays at
// (workers + 1) segments whatever the clip's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "telemetry/window_scan.hpp"

namespace camvault {

// Reads up to `size` bytes at `offset` into buf: how many (0 at the end of the
// file), or minus errno. Called from the worker threads at the same time.
using PositionalReader = std::function<ptrdiff_t(uint8_t* buf, size_t size, uint64_t offset)>;

// Defaults measured on 300 MB clips, two processors: 1 to 4 MB segments run
// 1.05 to 1.2 times as fast as `cat` (larger ones leave a worker idle at the
// end, smaller ones cost a thread hand-over each); the calling thread alone
// runs at about 0.75 times.
struct SegmentedScanOptions {
    uint64_t segment_size = uint64_t{2} << 20;
    // Read size inside a segment, small enough to search it while cached.
    size_t piece_size = size_t{256} << 10;
    // Worker threads; 0 does everything on the calling thread. Fewer are used
    // when the clip has fewer segments or a thread cannot be started.
    unsigned workers = 2;
};

enum class ScanStatus { done, read_failed, stopped };

struct SegmentedScanResult {
    ScanStatus status = ScanStatus::done;
    int error = 0;  // errno of the failed read
};

// Scans the `size` bytes of a file. The sink and `progress` (bytes scanned so
// far) run on the calling thread only. A file that turns out shorter than
// `size` is scanned up to where it ends.
SegmentedScanResult scan_segments(const PositionalReader& read, uint64_t size,
                                  const RecordSink& sink, const SegmentedScanOptions& options = {},
                                  const std::function<void(uint64_t done)>& progress = {});

// One marker the scan takes, with the bytes around it that the segment holds:
// `before` bytes ahead of the marker and `after` from it on (at least
// kBlockSpan), and its offset in the file.
struct MarkerView {
    const uint8_t* marker = nullptr;
    size_t before = 0;
    size_t after = 0;
    uint64_t offset = 0;
};

// Receives each marker the scan takes, in file order, on the calling thread;
// returns false to stop the scan.
using MarkerVisitor = std::function<bool(const MarkerView&)>;

// The same scan as scan_segments, handing over markers instead of decoding
// them: the markers and their order are exactly those whose blocks
// scan_segments decodes.
SegmentedScanResult scan_segment_markers(const PositionalReader& read, uint64_t size,
                                         const MarkerVisitor& visit,
                                         const SegmentedScanOptions& options = {},
                                         const std::function<void(uint64_t done)>& progress = {});

// The workers worth starting on this machine: one per processor, two to four.
unsigned default_scan_workers();

}  // namespace camvault
