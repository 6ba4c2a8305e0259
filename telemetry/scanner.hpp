// Telemetry blocks inside a clip's bytes: the marker search, the field readers
// and the decoding of one block into its used records. The clip is one flat
// byte string; the movie container is never parsed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace camvault {

// What indexOfData answers when the pattern does not occur.
inline constexpr uint64_t kNotFound = 9223372036854775807ULL;

// The seven bytes that introduce every telemetry block.
inline constexpr std::array<uint8_t, 7> kMarker = {'f', 'r', 'e', 'e', 'G', 'P', 'S'};
// The block begins this many bytes after the marker's first byte...
inline constexpr size_t kBlockOffset = 44;
// ...and is this long, so a whole block needs kBlockSpan bytes from the marker on.
inline constexpr size_t kBlockSize = 332;
inline constexpr size_t kBlockSpan = kBlockOffset + kBlockSize;  // 376
// After a marker at m the search goes on at m + kMarkerStep (counted from the
// marker, not from the block, as the cameras' readers have always done).
inline constexpr size_t kMarkerStep = 332;
inline constexpr size_t kRecordsPerBlock = 10;

// One used record of a block. The date down to the minute is that of record 0;
// each record carries its own second.
struct TelemetryRecord {
    uint16_t year = 0;
    uint8_t month = 0;
    uint8_t day = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint16_t tenths_of_second = 0;
    uint16_t speed = 0;  // hundredths of a metre per second
    int32_t degrees = 0;
    int32_t latitude = 0;   // degrees times 10,000,000
    int32_t longitude = 0;  // degrees times 10,000,000
    int32_t x = 0;          // G-sensor words, g times 1,000,000,000
    int32_t y = 0;
    int32_t z = 0;
    // The record's second is lower than record 0's: the second counter wrapped
    // inside the block, so the record lies in the minute after the block's.
    bool next_minute = false;

    bool operator==(const TelemetryRecord&) const = default;
};

// The first position at or after `offset` where `pattern` begins in `data`, or
// kNotFound. A plain forward comparison, kept as the reference the fast scanner
// is tested against.
uint64_t indexOfData(std::span<const uint8_t> pattern, std::span<const uint8_t> data,
                     uint64_t offset);

// The bytes read in order as one big-endian unsigned number. Values wider than
// 32 bits saturate at 0xFFFFFFFF; an empty span gives 0.
uint32_t hextodec(std::span<const uint8_t> bytes);

// Decodes the block of the marker at `marker` (which must have kBlockSpan bytes)
// into `out`, record 0 first, and returns how many records are used.
size_t decode_block(const uint8_t* marker, std::array<TelemetryRecord, kRecordsPerBlock>& out);

// The first marker that begins at or after `from` in data[0, size), or size
// when there is none. Vectorised: AVX-512 or AVX2 where the processor has them,
// else memchr.
size_t find_marker(const uint8_t* data, size_t size, size_t from);

// Every marker search this processor can run, the one find_marker uses first;
// all give the same answers (the tests hold each to the reference).
using MarkerSearch = size_t (*)(const uint8_t* data, size_t size, size_t from);
std::vector<MarkerSearch> available_marker_searches();

// The reference scan over a whole clip in memory, built on indexOfData: every
// used record in file order. A marker with fewer than kBlockSpan bytes from it
// to the end holds no whole block; the scan ends there.
std::vector<TelemetryRecord> scan_whole_buffer(std::span<const uint8_t> clip);

}  // namespace camvault
