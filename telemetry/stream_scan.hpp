// The block scan for real clips: the bytes arrive in chunks through a bounded
// window, markers are found with a vectorised search, and the records come out
// exactly as the whole-buffer reference scan gives them, blocks that straddle
// chunk borders included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "telemetry/scanner.hpp"

namespace camvault {

// Receives each used record in file order; returns false to stop the scan.
using RecordSink = std::function<bool(const TelemetryRecord&)>;

// Fills buf with up to `capacity` bytes; returns how many (0 at the end of the
// clip) or -1 on a read error.
using ChunkReader = std::function<ptrdiff_t(uint8_t* buf, size_t capacity)>;

// Where a scan of one window stopped.
struct WindowScan {
    size_t resume = 0;  // first position the scan still needs (search position or pending marker)
    bool stopped = false;  // the sink asked to stop
};

// Scans data[from, size) for markers and hands the records of every whole block
// to the sink. A marker without a whole block behind it ends the scan when
// `at_end` (nothing follows), else `resume` points at it so that it is scanned
// again once more bytes are there.
WindowScan scan_window(const uint8_t* data, size_t size, size_t from, bool at_end,
                       const RecordSink& sink);

// The read size used for clip files: large enough that system calls cost
// little, small enough that the read-ahead ring stays in the processor's cache
// between the read and the scan (measured: 256 KB beats 1 MB and 4 MB).
inline constexpr size_t kDefaultChunkSize = size_t{256} << 10;

// Every chunk handed to scan_chunks has this many writable bytes in front of
// it: the few bytes kept from the previous chunk (a marker whose block goes on
// in this chunk) are put there, so the chunk itself is never copied.
inline constexpr size_t kChunkHeadroom = kBlockSpan;

struct Chunk {
    uint8_t* data = nullptr;  // with kChunkHeadroom writable bytes before it
    size_t size = 0;          // 0 at the end of the clip
    bool failed = false;      // the clip could not be read
};

// Hands out the clip's next chunk; asking for it releases the previous one.
using ChunkSource = std::function<Chunk()>;

enum class StreamStatus { done, read_failed, stopped };

// Runs the block scan over the chunks of a clip in order.
StreamStatus scan_chunks(const ChunkSource& next, const RecordSink& sink);

// Runs the block scan over a clip delivered by `read` in pieces of at most
// chunk_size bytes, holding at most chunk_size + kBlockSpan bytes at a time.
StreamStatus scan_stream(const ChunkReader& read, size_t chunk_size, const RecordSink& sink);

}  // namespace camvault
