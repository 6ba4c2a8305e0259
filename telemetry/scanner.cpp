// Telemetry blocks inside a clip's bytes: the marker search, the field readers
// and the decoding of one block into its used records.
#include "telemetry/scanner.hpp"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

namespace {

bool is_marker_at(const uint8_t* p) {
    return std::memcmp(p, kMarker.data(), kMarker.size()) == 0;
}

// The portable search: memchr for the first byte, then the whole marker.
size_t find_marker_memchr(const uint8_t* data, size_t size, size_t from) {
    const uint8_t* p = data + from;
    const uint8_t* end = data + (size - kMarker.size()) + 1;  // one past the last possible start
    while (p < end) {
        p = static_cast<const uint8_t*>(std::memchr(p, kMarker[0], static_cast<size_t>(end - p)));
        if (p == nullptr) {
            return size;
        }
        if (is_marker_at(p)) {
            return static_cast<size_t>(p - data);
        }
        ++p;
    }
    return size;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Vector searches test 'f' and the 'G' four bytes later at every position of a
// 64-byte stretch at once, so random video data rarely costs a full compare.
// The scan is otherwise as slow as reading the clip twice over.
constexpr size_t kStretch = 64;
// Bytes a stretch at i may look at: its candidates and their whole markers.
constexpr size_t kStretchReach = kStretch + kMarker.size() - 1;

size_t check_candidates(const uint8_t* data, size_t i, uint64_t mask) {
    while (mask != 0) {
        const size_t at = i + static_cast<size_t>(__builtin_ctzll(mask));
        if (is_marker_at(data + at))
            return at;
        mask &= mask - 1;
    }
    return SIZE_MAX;
}

__attribute__((target("avx512bw"))) size_t find_marker_avx512(const uint8_t* data, size_t size,
                                                              size_t from) {
    const __m512i first = _mm512_set1_epi8(static_cast<char>(kMarker[0]));
    const __m512i fifth = _mm512_set1_epi8(static_cast<char>(kMarker[4]));
    size_t i = from;
    for (; i + kStretchReach <= size; i += kStretch) {
        const __m512i a = _mm512_loadu_si512(data + i);
        const __m512i b = _mm512_loadu_si512(data + i + 4);
        const uint64_t mask = _mm512_cmpeq_epi8_mask(a, first) & _mm512_cmpeq_epi8_mask(b, fifth);
        if (mask != 0) {
            if (const size_t at = check_candidates(data, i, mask); at != SIZE_MAX)
                return at;
        }
    }
    return find_marker_memchr(data, size, i);
}

__attribute__((target("avx2"))) size_t find_marker_avx2(const uint8_t* data, size_t size,
                                                        size_t from) {
    const __m256i first = _mm256_set1_epi8(static_cast<char>(kMarker[0]));
    const __m256i fifth = _mm256_set1_epi8(static_cast<char>(kMarker[4]));
    size_t i = from;
    for (; i + kStretchReach <= size; i += kStretch) {
        const auto* p = reinterpret_cast<const __m256i*>(data + i);
        const auto* q = reinterpret_cast<const __m256i*>(data + i + 4);
        const __m256i lo = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(p), first),
                                            _mm256_cmpeq_epi8(_mm256_loadu_si256(q), fifth));
        const __m256i hi = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(p + 1), first),
                                            _mm256_cmpeq_epi8(_mm256_loadu_si256(q + 1), fifth));
        const __m256i any = _mm256_or_si256(lo, hi);
        if (_mm256_testz_si256(any, any))
            continue;
        const uint64_t mask = uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(lo))} |
                              uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(hi))} << 32;
        if (const size_t at = check_candidates(data, i, mask); at != SIZE_MAX)
            return at;
    }
    return find_marker_memchr(data, size, i);
}

#endif

// Each search assumes a marker fits at `from`; this wrapper makes that so.
template <size_t (*Search)(const uint8_t*, size_t, size_t)>
size_t checked(const uint8_t* data, size_t size, size_t from) {
    if (size < kMarker.size() || from > size - kMarker.size()) {
        return size;
    }
    return Search(data, size, from);
}

std::vector<MarkerSearch> searches_of_this_processor() {
    std::vector<MarkerSearch> searches;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw"))
        searches.push_back(checked<find_marker_avx512>);
    if (__builtin_cpu_supports("avx2"))
        searches.push_back(checked<find_marker_avx2>);
#endif
    searches.push_back(checked<find_marker_memchr>);
    return searches;
}

}  // namespace

std::vector<MarkerSearch> available_marker_searches() {
    static const std::vector<MarkerSearch> searches = searches_of_this_processor();
    return searches;
}

size_t find_marker(const uint8_t* data, size_t size, size_t from) {
    static const MarkerSearch fastest = available_marker_searches().front();
    return fastest(data, size, from);
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
