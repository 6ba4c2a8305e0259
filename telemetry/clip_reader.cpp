// Reads a clip file ahead of the scan on a thread of its own.
#include "telemetry/clip_reader.hpp"

#include <unistd.h>

#include <cerrno>

namespace camvault {

PrefetchingClipReader::PrefetchingClipReader(int fd, size_t chunk_size, size_t slots)
    : fd_(fd), chunk_size_(chunk_size), slots_(std::max<size_t>(slots, 2)) {
    for (Slot& slot : slots_) {
        slot.buffer = std::make_unique_for_overwrite<uint8_t[]>(kChunkHeadroom + chunk_size_);
    }
    thread_ = std::thread([this] { read_ahead(); });
}

PrefetchingClipReader::~PrefetchingClipReader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void PrefetchingClipReader::read_ahead() {
    for (size_t index = 0;; index = (index + 1) % slots_.size()) {
        Slot& slot = slots_[index];
        {
            std::unique_lock lock(mutex_);
            // A slot stays filled while it waits to be handed out and while it is in use.
            changed_.wait(lock, [&] { return stopping_ || !slot.filled; });
            if (stopping_)
                return;
        }
        // Fill the whole chunk: short reads would only make more, smaller windows.
        uint8_t* data = slot.buffer.get() + kChunkHeadroom;
        size_t size = 0;
        int error = 0;
        bool end = false;
        while (size < chunk_size_) {
            const ssize_t n = ::read(fd_, data + size, chunk_size_ - size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = errno;
                break;
            }
            if (n == 0) {
                end = true;
                break;
            }
            size += static_cast<size_t>(n);
        }
        {
            std::lock_guard lock(mutex_);
            slot.size = size;
            slot.filled = true;
            slot.last = end || error != 0;
            if (error != 0)
                error_ = error;
        }
        changed_.notify_all();
        if (end || error != 0)
            return;
    }
}

Chunk PrefetchingClipReader::next() {
    std::unique_lock lock(mutex_);
    if (finished_)
        return {nullptr, 0, error_ != 0};
    if (handed_out_) {
        // Release the chunk handed out before; its slot can be filled again.
        Slot& previous = slots_[(next_slot_ + slots_.size() - 1) % slots_.size()];
        previous.filled = false;
        handed_out_ = false;
        if (previous.last) {
            finished_ = true;
            changed_.notify_all();
            return {nullptr, 0, error_ != 0};
        }
        changed_.notify_all();
    }
    Slot& slot = slots_[next_slot_];
    changed_.wait(lock, [&] { return slot.filled; });
    next_slot_ = (next_slot_ + 1) % slots_.size();
    if (slot.size == 0) {
        slot.filled = false;
        finished_ = true;
        return {nullptr, 0, error_ != 0};
    }
    handed_out_ = true;
    return {slot.buffer.get() + kChunkHeadroom, slot.size, false};
}

}  // namespace camvault
