// Reads a clip file ahead of the scan on a thread of its own, into a small
// ring of chunk buffers, so that the disk (or the page cache copy) and the
// marker search run at the same time instead of one after the other.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "telemetry/stream_scan.hpp"

namespace camvault {

class PrefetchingClipReader {
  public:
    // Starts reading the open file `fd` (not owned) at once, `slots` chunks of
    // `chunk_size` bytes ahead at most.
    PrefetchingClipReader(int fd, size_t chunk_size = kDefaultChunkSize, size_t slots = 4);
    // Stops the reading thread, also when the scan ended early.
    ~PrefetchingClipReader();
    PrefetchingClipReader(const PrefetchingClipReader&) = delete;
    PrefetchingClipReader& operator=(const PrefetchingClipReader&) = delete;

    // The next chunk in file order, releasing the previous one; a ChunkSource.
    Chunk next();

    // errno of the failed read when next() reported failure.
    int error() const { return error_; }

  private:
    struct Slot {
        std::unique_ptr<uint8_t[]> buffer;  // kChunkHeadroom + chunk_size bytes
        size_t size = 0;
        bool filled = false;
        bool last = false;  // end of the clip or a read error after this slot
    };

    void read_ahead();

    const int fd_;
    const size_t chunk_size_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_slot_ = 0;     // the slot next() hands out next
    bool handed_out_ = false;  // the slot before next_slot_ is still in use
    bool stopping_ = false;
    bool finished_ = false;  // the consumer has seen the end
    int error_ = 0;
    std::thread thread_;
};

}  // namespace camvault
