// The moov's `gps ` box and movie header, read through the scan's positional reader.
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

// Calls `visit(child header, child offset)` for each child of the first
// top-level moov, in order, until it returns false; false when it did.
template <typename Visit>
bool walk_moov_children(const PositionalReader& read, uint64_t size, const Visit& visit) {
    AtomHeader top;
    for (uint64_t at = 0; at < size && read_header(read, at, size, top); at += top.size) {
        if (!is(top, "moov"))
            continue;
        const uint64_t end = at + top.size;
        AtomHeader child;
        for (uint64_t c = at + top.header; c < end && read_header(read, c, end, child);
             c += child.size) {
            if (!visit(child, c))
                return false;
        }
        break;  // one movie per file
    }
    return true;
}

}  // namespace

std::vector<GpsIndexEntry> read_gps_index(const PositionalReader& read, uint64_t size) {
    std::vector<GpsIndexEntry> index;
    const bool read_all = walk_moov_children(read, size, [&](const AtomHeader& child, uint64_t c) {
        if (!is(child, "gps "))
            return true;
        const uint64_t body = child.size - child.header;
        if (body < 8)
            return true;
        uint8_t head[8];
        if (!read_exact(read, head, 8, c + child.header))
            return false;
        // A count larger than the box holds is cut to what it holds.
        const uint64_t count =
            std::min<uint64_t>({be32(head + 4), (body - 8) / 8, uint64_t{kMaxGpsIndexEntries}});
        std::vector<uint8_t> pairs(static_cast<size_t>(count) * 8);
        if (!read_exact(read, pairs.data(), pairs.size(), c + child.header + 8))
            return false;
        index.reserve(index.size() + count);
        for (size_t i = 0; i < count; ++i)
            index.push_back({be32(&pairs[8 * i]), be32(&pairs[8 * i + 4])});
        return true;
    });
    if (!read_all)
        return {};
    std::stable_sort(index.begin(), index.end());
    return index;
}

std::optional<int64_t> read_movie_creation_time(const PositionalReader& read, uint64_t size) {
    constexpr auto kLatest = static_cast<uint64_t>(kLatestMovieTime + kQuickTimeEpochOffset);
    std::optional<int64_t> created;
    walk_moov_children(read, size, [&](const AtomHeader& child, uint64_t c) {
        if (!is(child, "mvhd"))
            return true;
        // Version and flags, then the creation time: 32 bits, or 64 in version 1.
        uint8_t b[12];
        const uint64_t body = child.size - child.header;
        if (body < 8 || !read_exact(read, b, 8, c + child.header))
            return false;
        uint64_t since_1904 = be32(b + 4);
        if (b[0] == 1) {
            if (body < 12 || !read_exact(read, b + 8, 4, c + child.header + 8))
                return false;
            since_1904 = since_1904 << 32 | be32(b + 8);
        }
        if (since_1904 != 0 && since_1904 <= kLatest)
            created = static_cast<int64_t>(since_1904) - kQuickTimeEpochOffset;
        return false;  // the movie has one header
    });
    return created;
}

const GpsIndexEntry* find_gps_entry(const std::vector<GpsIndexEntry>& index, uint64_t offset) {
    const auto it = std::lower_bound(index.begin(), index.end(), GpsIndexEntry{offset, 0});
    return it != index.end() && it->offset == offset ? &*it : nullptr;
}

}  // namespace camvault
