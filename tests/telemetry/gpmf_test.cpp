// GoPro GPMF samples into fixes: GPS5 scaled by its stream's SCAL, times from
// GPSU spread over the sample's duration and carried into the next day, the
// course between positions, ACCL in g, and what damaged entries do.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "telemetry/gpmf.hpp"

namespace camvault {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v & 0xffff);
}

// One entry: key, type, structure size, repeat count, payload padded to four.
Bytes klv(const char* key, char type, uint8_t size, uint16_t count, const Bytes& payload) {
    Bytes b(key, key + 4);
    b.push_back(static_cast<uint8_t>(type));
    b.push_back(size);
    put16(b, count);
    b.insert(b.end(), payload.begin(), payload.end());
    while (b.size() % 4 != 0)
        b.push_back(0);
    return b;
}

Bytes nest(const char* key, const std::vector<Bytes>& parts) {
    Bytes body;
    for (const Bytes& p : parts)
        body.insert(body.end(), p.begin(), p.end());
    return klv(key, '\0', 1, static_cast<uint16_t>(body.size()), body);
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes int32s(const std::vector<int32_t>& values) {
    Bytes b;
    for (int32_t v : values)
        put32(b, static_cast<uint32_t>(v));
    return b;
}

Bytes int16s(const std::vector<int16_t>& values) {
    Bytes b;
    for (int16_t v : values)
        put16(b, static_cast<uint16_t>(v));
    return b;
}

const Bytes kGpsScale = klv("SCAL", 'l', 4, 5, int32s({10000000, 10000000, 1000, 1000, 100}));

// A GPS stream of `rows` (lat, lon x 1e7; alt, speed x 1000; 3D speed x 100).
Bytes gps_stream(const std::string& gpsu, const std::vector<int32_t>& rows,
                 const Bytes& scale = kGpsScale) {
    std::vector<Bytes> parts = {klv("STNM", 'c', 3, 1, text("GPS")),
                                klv("GPSF", 'L', 4, 1, int32s({3}))};
    if (!gpsu.empty())
        parts.push_back(klv("GPSU", 'U', 16, 1, text(gpsu)));
    parts.push_back(scale);
    parts.push_back(klv("GPS5", 'l', 20, static_cast<uint16_t>(rows.size() / 5), int32s(rows)));
    return nest("STRM", parts);
}

std::vector<TelemetryFix> decode(const std::vector<Bytes>& samples, double seconds) {
    std::vector<TelemetryFix> fixes;
    GpmfDecoder decoder([&](const TelemetryFix& f) {
        fixes.push_back(f);
        return true;
    });
    for (const Bytes& s : samples)
        EXPECT_TRUE(decoder.sample(s, seconds));
    return fixes;
}

TEST(Gpmf, Gps5IsScaledAndSpreadOverTheSample) {
    const Bytes sample =
        nest("DEVC", {klv("DVID", 'L', 4, 1, int32s({1})),
                      gps_stream("250614093015.250", {-512345678, -1234567, 35000, 10000, 1000,  //
                                                      -512345000, -1234567, 35000, 12500, 1250,  //
                                                      -512345000, -1234567, 35000, 0,     0,     //
                                                      -512346000, -1234567, 35000, 0,     0})});
    const auto fixes = decode({sample}, 1.0);
    ASSERT_EQ(fixes.size(), 4u);
    const TelemetryFix& f = fixes[0];
    EXPECT_EQ(f.year, 2025u);
    EXPECT_EQ(f.month, 6u);
    EXPECT_EQ(f.day, 14u);
    EXPECT_EQ(f.hour, 9u);
    EXPECT_EQ(f.minute, 30u);
    EXPECT_DOUBLE_EQ(f.second, 15.25);
    EXPECT_DOUBLE_EQ(f.latitude, -51.2345678);
    EXPECT_DOUBLE_EQ(f.longitude, -0.1234567);
    EXPECT_DOUBLE_EQ(f.speed_kmh, 36.0);  // 10 m/s
    EXPECT_EQ(f.track, 0.0);              // no earlier position: no course
    EXPECT_FALSE(f.has_accel);
    EXPECT_DOUBLE_EQ(fixes[1].second, 15.5);
    EXPECT_DOUBLE_EQ(fixes[1].speed_kmh, 45.0);
    EXPECT_NEAR(fixes[1].track, 0.0, 1e-9);  // due north
    EXPECT_DOUBLE_EQ(fixes[2].second, 15.75);
    EXPECT_NEAR(fixes[2].track, 0.0, 1e-9);  // standing: the last course held
    EXPECT_DOUBLE_EQ(fixes[3].second, 16.0);
    EXPECT_NEAR(fixes[3].track, 180.0, 1e-9);  // back south
}

TEST(Gpmf, LaterEntriesCarryIntoTheNextYear) {
    const auto fixes =
        decode({gps_stream("251231235959.500", {1, 2, 0, 0, 0, 1, 2, 0, 0, 0})}, 1.0);
    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_EQ(fixes[0].year, 2025u);
    EXPECT_DOUBLE_EQ(fixes[0].second, 59.5);
    const TelemetryFix& f = fixes[1];
    EXPECT_EQ(f.year, 2026u);
    EXPECT_EQ(f.month, 1u);
    EXPECT_EQ(f.day, 1u);
    EXPECT_EQ(f.hour, 0u);
    EXPECT_EQ(f.minute, 0u);
    EXPECT_NEAR(f.second, 0.0, 1e-9);
}

TEST(Gpmf, LeapDayIsADay) {
    const auto fixes =
        decode({gps_stream("240228235959.000", {1, 2, 0, 0, 0, 1, 2, 0, 0, 0})}, 2.0);
    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_EQ(fixes[1].month, 2u);
    EXPECT_EQ(fixes[1].day, 29u);
    EXPECT_NEAR(fixes[1].second, 0.0, 1e-9);
}

TEST(Gpmf, CourseAcrossSamplesAndCoordinatesOfEverySign) {
    const auto fixes = decode({gps_stream("250101000000.000", {10000, -10000, 0, 0, 0}),
                               gps_stream("250101000001.000", {10000, 10000, 0, 0, 0}),
                               gps_stream("250101000002.000", {-10000, 10000, 0, 0, 0})},
                              1.0);
    ASSERT_EQ(fixes.size(), 3u);
    EXPECT_DOUBLE_EQ(fixes[0].latitude, 0.001);
    EXPECT_DOUBLE_EQ(fixes[0].longitude, -0.001);
    EXPECT_NEAR(fixes[1].track, 90.0, 1e-6);   // east
    EXPECT_NEAR(fixes[2].track, 180.0, 1e-6);  // south
    EXPECT_DOUBLE_EQ(fixes[2].latitude, -0.001);
}

TEST(Gpmf, AcclInGAtEachPositionsMoment) {
    // Four readings over two positions: the first and the third go with them.
    const Bytes accel =
        nest("STRM", {klv("SIUN", 'c', 4, 1, text("m/s2")), klv("SCAL", 's', 2, 1, int16s({100})),
                      klv("ACCL", 's', 6, 4,
                          int16s({981, 0, -196, 1, 2, 3,  //
                                  -981, 490, 98, 4, 5, 6}))});
    const Bytes sample =
        nest("DEVC", {accel, gps_stream("250101000000.000", {1, 2, 0, 0, 0, 1, 2, 0, 0, 0})});
    const auto fixes = decode({sample}, 1.0);
    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_TRUE(fixes[0].has_accel);
    EXPECT_NEAR(fixes[0].x, 9.81 / 9.80665, 1e-9);
    EXPECT_NEAR(fixes[0].y, 0.0, 1e-9);
    EXPECT_NEAR(fixes[0].z, -1.96 / 9.80665, 1e-9);
    EXPECT_NEAR(fixes[1].x, -9.81 / 9.80665, 1e-9);
    EXPECT_NEAR(fixes[1].y, 4.90 / 9.80665, 1e-9);
    EXPECT_NEAR(fixes[1].z, 0.98 / 9.80665, 1e-9);
}

TEST(Gpmf, WithoutDurationAllEntriesHaveTheSamplesTime) {
    const auto fixes =
        decode({gps_stream("250101000000.300", {1, 2, 0, 0, 0, 1, 2, 0, 0, 0})}, 0.0);
    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_DOUBLE_EQ(fixes[1].second, 0.3);
}

TEST(Gpmf, StreamsThatCannotBeReadGiveNoFixes) {
    // No GPSU: no time, so no record key.
    EXPECT_TRUE(decode({gps_stream("", {1, 2, 0, 0, 0})}, 1.0).empty());
    // A GPSU that is not digits.
    EXPECT_TRUE(decode({gps_stream("25O101000000.000", {1, 2, 0, 0, 0})}, 1.0).empty());
    // A zero scale.
    EXPECT_TRUE(decode({gps_stream("250101000000.000", {1, 2, 0, 0, 0},
                                   klv("SCAL", 'l', 4, 5, int32s({10000000, 0, 1000, 1000, 100})))},
                       1.0)
                    .empty());
    // GPS5 structures of four values, and of a type that is no number.
    Bytes four = gps_stream("250101000000.000", {1, 2, 0, 0, 0});
    four[four.size() - 20 - 3] = 16;  // structure size
    EXPECT_TRUE(decode({four}, 1.0).empty());
    Bytes chars = gps_stream("250101000000.000", {1, 2, 0, 0, 0});
    chars[chars.size() - 20 - 4] = 'c';
    EXPECT_TRUE(decode({chars}, 1.0).empty());
}

TEST(Gpmf, AnEntryRunningPastItsContainerEndsIt) {
    Bytes sample = gps_stream("250101000000.000", {1, 2, 0, 0, 0, 1, 2, 0, 0, 0});
    sample[sample.size() - 40 - 1] = 3;  // three positions claimed, two there
    EXPECT_TRUE(decode({sample}, 1.0).empty());
    // Cut short by the sample's own end.
    Bytes cut = gps_stream("250101000000.000", {1, 2, 0, 0, 0});
    cut.resize(cut.size() - 1);
    EXPECT_TRUE(decode({cut}, 1.0).empty());
}

TEST(Gpmf, SinkStopsTheSample) {
    int seen = 0;
    GpmfDecoder decoder([&](const TelemetryFix&) { return ++seen < 2; });
    EXPECT_FALSE(decoder.sample(
        gps_stream("250101000000.000", {1, 2, 0, 0, 0, 1, 2, 0, 0, 0, 1, 2, 0, 0, 0}), 1.0));
    EXPECT_EQ(seen, 2);
}

}  // namespace
}  // namespace camvault
