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

StreamStatus scan_chunks(const ChunkSource& next, const RecordSink& sink) {
    // What a window left unresolved: at most a marker and less than its block,
    // or the last six bytes, which may begin a marker.
    std::array<uint8_t, kChunkHeadroom> kept;
    size_t kept_size = 0;
    for (;;) {
        const Chunk chunk = next();
        if (chunk.failed) {
            return StreamStatus::read_failed;
        }
        if (chunk.size == 0) {
            // The kept bytes hold no whole block, so nothing more can be found.
            return StreamStatus::done;
        }
        uint8_t* window = chunk.data - kept_size;
        std::memcpy(window, kept.data(), kept_size);
        const size_t window_size = kept_size + chunk.size;
        const WindowScan scan = scan_window(window, window_size, 0, false, sink);
        if (scan.stopped) {
            return StreamStatus::stopped;
        }
        const size_t keep_from = std::min(scan.resume, window_size);
        kept_size = window_size - keep_from;
        std::memcpy(kept.data(), window + keep_from, kept_size);
    }
}

StreamStatus scan_stream(const ChunkReader& read, size_t chunk_size, const RecordSink& sink) {
    chunk_size = std::max<size_t>(chunk_size, 1);
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kChunkHeadroom + chunk_size);
    uint8_t* data = buffer.get() + kChunkHeadroom;
    return scan_chunks(
        [&]() -> Chunk {
            const ptrdiff_t got = read(data, chunk_size);
            if (got < 0)
                return {nullptr, 0, true};
            return {data, static_cast<size_t>(got), false};
        },
        sink);
}

}  // namespace camvault
