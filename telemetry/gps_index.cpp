// The moov's `gps ` box, read through the scan's positional reader.
#include "telemetry/gps_index.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace camvault {

namespace {

uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool read_exact(const PositionalReader& read, uint8_t* buf, size_t n, uint64_t offset) {
    size_t done = 0;
    while (done < n) {
        const ptrdiff_t got = read(buf + done, n - done, offset + done);
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

struct AtomHeader {
    uint64_t size = 0;  // whole atom
    uint32_t header = 0;
    std::array<char, 4> type{};
};

// The atom at `at` that must end by `end`; false when it is damaged.
bool read_header(const PositionalReader& read, uint64_t at, uint64_t end, AtomHeader& h) {
    if (end - at < 8)
        return false;
    uint8_t b[16];
    if (!read_exact(read, b, 8, at))
        return false;
    h.size = be32(b);
    h.header = 8;
    std::memcpy(h.type.data(), b + 4, 4);
    if (h.size == 1) {
        if (end - at < 16 || !read_exact(read, b + 8, 8, at + 8))
            return false;
        h.size = uint64_t{be32(b + 8)} << 32 | be32(b + 12);
        h.header = 16;
    } else if (h.size == 0) {
        h.size = end - at;
    }
    return h.size >= h.header && h.size <= end - at;
}

bool is(const AtomHeader& h, const char (&type)[5]) {
    return std::memcmp(h.type.data(), type, 4) == 0;
}

}  // namespace

std::vector<GpsIndexEntry> read_gps_index(const PositionalReader& read, uint64_t size) {
    std::vector<GpsIndexEntry> index;
    AtomHeader top;
    for (uint64_t at = 0; at < size && read_header(read, at, size, top); at += top.size) {
        if (!is(top, "moov"))
            continue;
        const uint64_t end = at + top.size;
        AtomHeader child;
        for (uint64_t c = at + top.header; c < end && read_header(read, c, end, child);
             c += child.size) {
            if (!is(child, "gps "))
                continue;
            const uint64_t body = child.size - child.header;
            if (body < 8)
                continue;
            uint8_t head[8];
            if (!read_exact(read, head, 8, c + child.header))
                return {};
            // A count larger than the box holds is cut to what it holds.
            const uint64_t count =
                std::min<uint64_t>({be32(head + 4), (body - 8) / 8, uint64_t{kMaxGpsIndexEntries}});
            std::vector<uint8_t> pairs(static_cast<size_t>(count) * 8);
            if (!read_exact(read, pairs.data(), pairs.size(), c + child.header + 8))
                return {};
            index.reserve(index.size() + count);
            for (size_t i = 0; i < count; ++i)
                index.push_back({be32(&pairs[8 * i]), be32(&pairs[8 * i + 4])});
        }
        break;  // one movie per file
    }
    std::stable_sort(index.begin(), index.end());
    return index;
}

const GpsIndexEntry* find_gps_entry(const std::vector<GpsIndexEntry>& index, uint64_t offset) {
    const auto it = std::lower_bound(index.begin(), index.end(), GpsIndexEntry{offset, 0});
    return it != index.end() && it->offset == offset ? &*it : nullptr;
}

}  // namespace camvault
