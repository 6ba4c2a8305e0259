// Test helper: plants telemetry blocks with chosen fields into byte buffers.
#pragma once

#include <cstdint>
#include <vector>

#include "telemetry/scanner.hpp"

namespace camvault::testing {

inline void put_u16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b.at(at) = static_cast<uint8_t>(v >> 8);
    b.at(at + 1) = static_cast<uint8_t>(v);
}

inline void put_i32(std::vector<uint8_t>& b, size_t at, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<uint8_t>(u >> (24 - 8 * i));
}

// The fields of one record to plant; the date fields go to record 0 only when
// the record is planted as record 0.
struct PlantedRecord {
    uint16_t speed = 0;
    uint16_t degrees_field = 0;
    uint16_t tenths = 0;
    uint8_t status = 2;
    int32_t lat = 0;
    int32_t lon = 0;
};

struct PlantedBlock {
    uint16_t year = 2017;
    uint8_t month = 5, day = 21, hour = 13, minute = 5;
    int32_t x = 0, y = 0, z = 0;
    PlantedRecord records[kRecordsPerBlock];
};

// Writes the marker at `m` and the block behind it; the buffer must hold m + 376 bytes.
inline void plant_block(std::vector<uint8_t>& b, size_t m, const PlantedBlock& blk) {
    for (size_t i = 0; i < kMarker.size(); ++i)
        b.at(m + i) = kMarker[i];
    const size_t base = m + kBlockOffset;
    for (size_t k = 0; k < kRecordsPerBlock; ++k) {
        const size_t r = base + 32 * k;
        const PlantedRecord& rec = blk.records[k];
        put_u16(b, r + 2, rec.speed);
        put_u16(b, r + 4, rec.degrees_field);
        put_u16(b, r + 12, rec.tenths);
        b.at(r + 14) = rec.status;
        put_i32(b, r + 15, rec.lat);
        put_i32(b, r + 19, rec.lon);
    }
    put_u16(b, base + 6, blk.year);
    b.at(base + 8) = blk.month;
    b.at(base + 9) = blk.day;
    b.at(base + 10) = blk.hour;
    b.at(base + 11) = blk.minute;
    put_i32(b, base + 320, blk.x);
    put_i32(b, base + 324, blk.y);
    put_i32(b, base + 328, blk.z);
}

// 2 KB of movie with one block of five records with a fix, from
// 2017-05-21 13:05:00.0 to 13:05:04.0: the smallest clip with a route.
inline std::vector<uint8_t> five_fix_clip() {
    std::vector<uint8_t> clip(2048);
    PlantedBlock blk;
    for (size_t k = 0; k < kRecordsPerBlock; ++k) {
        blk.records[k].lat = 5130'0000;
        blk.records[k].lon = 10'0000;
        blk.records[k].tenths = static_cast<uint16_t>(k * 10);
        blk.records[k].status = k < 5 ? 2 : 0;
    }
    plant_block(clip, 700, blk);
    return clip;
}

}  // namespace camvault::testing
