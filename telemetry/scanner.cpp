// Telemetry blocks inside a clip's bytes: the marker search, the field readers
// and the decoding of one block into its used records.
#include "telemetry/scanner.hpp"

#include <cstring>

namespace camvault {

namespace {

uint16_t read_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

int32_t read_i32(const uint8_t* p) {
    const uint32_t u = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    return static_cast<int32_t>(u);
}

constexpr uint8_t kUsedStatus = 2;

}  // namespace

uint64_t indexOfData(std::span<const uint8_t> pattern, std::span<const uint8_t> data,
                     uint64_t offset) {
    const uint64_t n = data.size();
    const uint64_t p = pattern.size();
    if (p > n || offset >= n - p + 1) {
        return kNotFound;
    }
    for (uint64_t i = offset; i <= n - p; ++i) {
        uint64_t j = 0;
        while (j < p && data[i + j] == pattern[j]) {
            ++j;
        }
        if (j == p) {
            return i;
        }
    }
    return kNotFound;
}

uint32_t hextodec(std::span<const uint8_t> bytes) {
    uint64_t value = 0;
    for (uint8_t b : bytes) {
        value = value << 8 | b;
        if (value > UINT32_MAX) {
            return UINT32_MAX;
        }
    }
    return static_cast<uint32_t>(value);
}

size_t decode_block(const uint8_t* marker, std::array<TelemetryRecord, kRecordsPerBlock>& out) {
    const uint8_t* block = marker + kBlockOffset;
    TelemetryRecord common;
    common.year = read_u16(block + 6);
    common.month = block[8];
    common.day = block[9];
    common.hour = block[10];
    common.minute = block[11];
    common.x = read_i32(block + 320);
    common.y = read_i32(block + 324);
    common.z = read_i32(block + 328);
    const uint16_t first_second = read_u16(block + 12);

    size_t used = 0;
    for (size_t k = 0; k < kRecordsPerBlock; ++k) {
        const uint8_t* rec = block + 32 * k;
        if (rec[14] != kUsedStatus) {
            continue;
        }
        TelemetryRecord& r = out[used++];
        r = common;
        r.tenths_of_second = read_u16(rec + 12);
        r.speed = read_u16(rec + 2);
        // The field is only two bytes wide; they are the value's high 16 bits and
        // the low 16 bits are zero, which moves the shown value by under 0.0066.
        r.degrees = static_cast<int32_t>(static_cast<uint32_t>(read_u16(rec + 4)) << 16);
        r.latitude = read_i32(rec + 15);
        r.longitude = read_i32(rec + 19);
        r.next_minute = r.tenths_of_second < first_second;
    }
    return used;
}

size_t find_marker(const uint8_t* data, size_t size, size_t from) {
    if (size < kMarker.size() || from > size - kMarker.size()) {
        return size;
    }
    const size_t last = size - kMarker.size();  // last position a marker can begin at
    const uint8_t* p = data + from;
    const uint8_t* end = data + last + 1;
    while (p < end) {
        p = static_cast<const uint8_t*>(std::memchr(p, kMarker[0], static_cast<size_t>(end - p)));
        if (p == nullptr) {
            return size;
        }
        if (std::memcmp(p + 1, kMarker.data() + 1, kMarker.size() - 1) == 0) {
            return static_cast<size_t>(p - data);
        }
        ++p;
    }
    return size;
}

std::vector<TelemetryRecord> scan_whole_buffer(std::span<const uint8_t> clip) {
    std::vector<TelemetryRecord> records;
    std::array<TelemetryRecord, kRecordsPerBlock> block;
    uint64_t position = 0;
    for (;;) {
        const uint64_t m = indexOfData(kMarker, clip, position);
        if (m == kNotFound || clip.size() - m < kBlockSpan) {
            break;
        }
        const size_t used = decode_block(clip.data() + m, block);
        records.insert(records.end(), block.begin(), block.begin() + static_cast<ptrdiff_t>(used));
        position = m + kMarkerStep;
    }
    return records;
}

}  // namespace camvault
