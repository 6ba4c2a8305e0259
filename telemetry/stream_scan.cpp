// The block scan for real clips, through a bounded window of chunks.
#include "telemetry/stream_scan.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace camvault {

WindowScan scan_window(const uint8_t* data, size_t size, size_t from, bool at_end,
                       const RecordSink& sink) {
    std::array<TelemetryRecord, kRecordsPerBlock> block;
    size_t position = from;
    for (;;) {
        const size_t m = find_marker(data, size, position);
        if (m == size) {
            // No marker begins before the last six bytes; those may still start one.
            const size_t tail = size >= kMarker.size() - 1 ? size - (kMarker.size() - 1) : 0;
            return {std::max(position, tail), false};
        }
        if (size - m < kBlockSpan) {
            // A marker without a whole block: at the end of the clip the scan ends
            // here, since no later marker can have a whole block either.
            return {at_end ? size : m, false};
        }
        const size_t used = decode_block(data + m, block);
        for (size_t i = 0; i < used; ++i) {
            if (!sink(block[i])) {
                return {m, true};
            }
        }
        position = m + kMarkerStep;
    }
}

StreamStatus scan_stream(const ChunkReader& read, size_t chunk_size, const RecordSink& sink) {
    chunk_size = std::max<size_t>(chunk_size, 1);
    // Whatever is kept between reads is under kBlockSpan bytes, so every read
    // has room for a whole chunk.
    const size_t capacity = chunk_size + kBlockSpan;
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    uint8_t* buf = buffer.get();
    size_t have = 0;
    size_t resume = 0;
    for (;;) {
        const ptrdiff_t got = read(buf + have, capacity - have);
        if (got < 0) {
            return StreamStatus::read_failed;
        }
        const bool at_end = got == 0;
        have += static_cast<size_t>(got);
        const WindowScan scan = scan_window(buf, have, resume, at_end, sink);
        if (scan.stopped) {
            return StreamStatus::stopped;
        }
        if (at_end) {
            return StreamStatus::done;
        }
        const size_t keep_from = std::min(scan.resume, have);
        std::memmove(buf, buf + keep_from, have - keep_from);
        have -= keep_from;
        resume = 0;
    }
}

}  // namespace camvault
