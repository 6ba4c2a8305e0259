// The freeGPS layout registry on hand-built boxes: which layout a box is
// taken for (and that the original block stays the fallback), the units and
// signs of the decoded values worked out by hand, the times of the layout
// timed by the movie, and boxes cut short or damaged, which must yield
// nothing rather than read past their bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "telemetry/civil_date.hpp"
#include "telemetry/fix_text.hpp"
#include "telemetry/freegps_layouts.hpp"
#include "telemetry/gps_index.hpp"
#include "telemetry/layout_scan.hpp"
#include "tests/telemetry/block_builder.hpp"

namespace camvault {
namespace {

using Box = std::vector<uint8_t>;

Box new_box(uint32_t size = 0x8000) {
    Box b(size);
    b[0] = static_cast<uint8_t>(size >> 24);
    b[1] = static_cast<uint8_t>(size >> 16);
    b[2] = static_cast<uint8_t>(size >> 8);
    b[3] = static_cast<uint8_t>(size);
    std::memcpy(b.data() + 4, "freeGPS ", 8);
    return b;
}

void put_le32(Box& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (8 * i));
}

void put_f32(Box& b, size_t at, float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    put_le32(b, at, u);
}

// 2026-06-01 09:30:15, 51 deg 30.5 min S, 0 deg 7.5 min W, 10 knots, track 270.
Box novatek_box() {
    Box b = new_box();
    const uint32_t fields[6] = {9, 30, 15, 26, 6, 1};
    for (size_t i = 0; i < 6; ++i)
        put_le32(b, 48 + 4 * i, fields[i]);
    std::memcpy(b.data() + 72, "ASW", 3);
    put_f32(b, 76, 5130.5f);
    put_f32(b, 80, 7.5f);
    put_f32(b, 84, 10.0f);
    put_f32(b, 88, 270.0f);
    return b;
}

// 2025-12-31 23:59:59 read as UTC, in seconds since 1970.
const int64_t kLastSecondOf2025 = days_from_civil(2025, 12, 31) * 86400 + 86399;

std::vector<TelemetryFix> decode(TelemetryLayout layout, const Box& box, BoxWay way,
                                 uint64_t length = 0x8000) {
    std::vector<TelemetryFix> fixes;
    FreeGpsState state;
    state.movie_created = kLastSecondOf2025;  // for the layout timed by the movie
    decode_freegps(
        layout, box, length, state,
        [&](const TelemetryFix& f) {
            fixes.push_back(f);
            return true;
        },
        way);
    return fixes;
}

TEST(FreeGpsRegistry, NovatekFieldsInDegreesKilometresAndSigns) {
    for (BoxWay way : {BoxWay::indexed, BoxWay::scanned}) {
        const Box box = novatek_box();
        ASSERT_EQ(identify_freegps(box, way, box.size()), TelemetryLayout::novatek);
        const auto fixes = decode(TelemetryLayout::novatek, box, way);
        ASSERT_EQ(fixes.size(), 1u);
        const TelemetryFix& f = fixes[0];
        EXPECT_EQ(f.year, 2026u);
        EXPECT_EQ(f.month, 6u);
        EXPECT_EQ(f.day, 1u);
        EXPECT_EQ(f.hour, 9u);
        EXPECT_EQ(f.minute, 30u);
        EXPECT_EQ(f.second, 15.0);
        EXPECT_NEAR(f.latitude, -(51 + 30.5 / 60), 1e-12);
        EXPECT_NEAR(f.longitude, -(7.5 / 60), 1e-12);
        EXPECT_NEAR(f.speed_kmh, 18.52, 1e-9);
        EXPECT_EQ(f.track, 270.0);
        EXPECT_FALSE(f.has_accel);
    }
}

TEST(FreeGpsRegistry, TheSameBytesMeanWhatTheirWayOfBeingFoundSays) {
    // 'A' at 60, N/S at 68, E/W at 76 with zero padding: listed in a gps box
    // it is the Akaso layout (track half a turn off, full year), found in the
    // movie data the layout with a G-sensor and years from 2000.
    Box b = new_box();
    put_le32(b, 48, 10);
    put_le32(b, 52, 0);
    put_le32(b, 56, 0);
    b[60] = 'A';
    b[68] = 'N';
    b[76] = 'E';
    put_f32(b, 0x40, 100.0f);
    put_f32(b, 0x48, 200.0f);
    put_f32(b, 0x50, 50.0f);
    put_f32(b, 0x54, 10.0f);
    put_le32(b, 88, 26);
    put_le32(b, 92, 3);
    put_le32(b, 96, 4);
    put_le32(b, 100, 1000);
    EXPECT_EQ(identify_freegps(b, BoxWay::indexed, b.size()), TelemetryLayout::akaso);
    EXPECT_EQ(identify_freegps(b, BoxWay::scanned, b.size()), TelemetryLayout::floats_type2e);
    const auto akaso = decode(TelemetryLayout::akaso, b, BoxWay::indexed);
    const auto type2e = decode(TelemetryLayout::floats_type2e, b, BoxWay::scanned);
    ASSERT_EQ(akaso.size(), 1u);
    ASSERT_EQ(type2e.size(), 1u);
    EXPECT_EQ(akaso[0].track, 190.0);
    EXPECT_EQ(type2e[0].track, 10.0);
    EXPECT_EQ(akaso[0].year, 26u);  // Akaso cameras write the full year
    EXPECT_EQ(type2e[0].year, 2026u);
    EXPECT_EQ(akaso[0].speed_kmh, 50.0);
    EXPECT_TRUE(type2e[0].has_accel);
    EXPECT_EQ(type2e[0].x, 1.0);
    EXPECT_NEAR(akaso[0].latitude, 1 + 0.0 / 60, 1e-12);
    EXPECT_NEAR(akaso[0].longitude, 2 + 0.0 / 60, 1e-12);
}

TEST(FreeGpsRegistry, OriginalBlocksAndUnsignedBoxesStayWithTheOriginalDecoder) {
    // The original block in a well-formed box, either way.
    std::vector<uint8_t> clip(0x8000);
    testing::PlantedBlock blk;
    testing::plant_block(clip, 4, blk);
    std::memcpy(clip.data(), "\0\0\x80\0", 4);
    clip[11] = ' ';
    for (BoxWay way : {BoxWay::indexed, BoxWay::scanned})
        EXPECT_EQ(identify_freegps(clip, way, clip.size()), TelemetryLayout::nextbase_block);

    // A void Novatek fix ('V'), a box without the space after the marker, a
    // scanned box whose size has a non-zero first byte, a box shorter than one
    // record: none is taken for a new layout.
    Box v = novatek_box();
    v[72] = 'V';
    EXPECT_EQ(identify_freegps(v, BoxWay::indexed, v.size()), TelemetryLayout::nextbase_block);
    Box nospace = novatek_box();
    nospace[11] = 0;
    EXPECT_EQ(identify_freegps(nospace, BoxWay::scanned, nospace.size()),
              TelemetryLayout::nextbase_block);
    Box big = novatek_box();
    big[0] = 1;
    EXPECT_EQ(identify_freegps(big, BoxWay::scanned, 0x1008000), TelemetryLayout::nextbase_block);
    EXPECT_EQ(identify_freegps(novatek_box(), BoxWay::scanned, 81),
              TelemetryLayout::nextbase_block);
    EXPECT_EQ(identify_freegps(novatek_box(), BoxWay::indexed, 91),
              TelemetryLayout::nextbase_block);
    const Box whole = novatek_box();
    const Box head(whole.begin(), whole.begin() + kIdentifyBytes - 1);
    EXPECT_EQ(identify_freegps(head, BoxWay::indexed, 0x8000), TelemetryLayout::nextbase_block);
}

TEST(FreeGpsRegistry, LayoutsExifToolCannotDecodeAreRecognisedAndGiveNothing) {
    Box kingslim = new_box();
    std::memcpy(kingslim.data() + 24, "ANW", 3);
    EXPECT_EQ(identify_freegps(kingslim, BoxWay::indexed, kingslim.size()),
              TelemetryLayout::kingslim_d4);
    Box eachpai = new_box();
    eachpai[12] = 0xac;
    EXPECT_EQ(identify_freegps(eachpai, BoxWay::indexed, eachpai.size()), TelemetryLayout::eachpai);
    Box akaso_v1 = novatek_box();  // Novatek's date words then 'A' N/S E/W, zero floats
    put_f32(akaso_v1, 76, 0.0f);
    EXPECT_EQ(identify_freegps(akaso_v1, BoxWay::indexed, akaso_v1.size()),
              TelemetryLayout::akaso_v1);
    for (const Box& b : {kingslim, eachpai, akaso_v1})
        for (TelemetryLayout l :
             {TelemetryLayout::kingslim_d4, TelemetryLayout::eachpai, TelemetryLayout::akaso_v1})
            EXPECT_TRUE(decode(l, b, BoxWay::indexed).empty()) << layout_name(l);
}

// One INNOVV record at `at`: the signature, DDDMM.MMMM floats without sign,
// knots, track, and three G-sensor words.
void put_innovv(Box& b, size_t at, const char* refs, float lat, float lon, float knots, float track,
                const int32_t (&accel)[3] = {0, 0, 0}) {
    b.at(at) = 'A';
    b.at(at + 1) = static_cast<uint8_t>(refs[0]);
    b.at(at + 2) = static_cast<uint8_t>(refs[1]);
    b.at(at + 3) = 0;
    put_f32(b, at + 4, lat);
    put_f32(b, at + 8, lon);
    put_f32(b, at + 12, knots);
    put_f32(b, at + 16, track);
    for (size_t i = 0; i < 3; ++i)
        put_le32(b, at + 20 + 4 * i, static_cast<uint32_t>(accel[i]));
}

// The fixes of the boxes decoded in order, as the scan hands them over.
std::vector<TelemetryFix> decode_innovv(const std::vector<Box>& boxes,
                                        std::optional<int64_t> created) {
    std::vector<TelemetryFix> fixes;
    FreeGpsState state;
    state.movie_created = created;
    const FixSink sink = [&](const TelemetryFix& f) {
        fixes.push_back(f);
        return true;
    };
    for (const Box& b : boxes)
        decode_freegps(TelemetryLayout::innovv, b, b.size(), state, sink, BoxWay::scanned);
    return fixes;
}

TEST(FreeGpsRegistry, InnovvRecordsAreTimedByTheMovieOneBoxASecond) {
    Box first = new_box();
    put_innovv(first, 16, "SW", 5130.5f, 7.5f, 10.0f, 270.0f, {-5, 20, 1000});
    put_innovv(first, 48, "NE", 5130.5f, 7.5f, 20.0f, 90.0f);
    ASSERT_EQ(identify_freegps(first, BoxWay::scanned, first.size()), TelemetryLayout::innovv);
    // Listed in a gps box, the same bytes are no layout ExifTool knows there.
    EXPECT_EQ(identify_freegps(first, BoxWay::indexed, first.size()),
              TelemetryLayout::nextbase_block);
    Box second = new_box();
    for (size_t k = 0; k < 3; ++k)
        put_innovv(second, 16 + 32 * k, "NW", 100.0f, 200.0f, 0.0f, 0.0f);

    const auto fixes = decode_innovv({first, second}, kLastSecondOf2025);
    ASSERT_EQ(fixes.size(), 5u);
    const TelemetryFix& f = fixes[0];
    EXPECT_NEAR(f.latitude, -(51 + 30.5 / 60), 1e-12);
    EXPECT_NEAR(f.longitude, -(7.5 / 60), 1e-12);
    EXPECT_NEAR(f.speed_kmh, 18.52, 1e-9);
    EXPECT_EQ(f.track, 270.0);
    // Words of no documented unit: read as no G-sensor, never as 1000 g.
    EXPECT_FALSE(f.has_accel);
    EXPECT_NEAR(fixes[1].latitude, 51 + 30.5 / 60, 1e-12);
    EXPECT_NEAR(fixes[2].latitude, 1.0, 1e-12);
    EXPECT_NEAR(fixes[2].longitude, -2.0, 1e-12);
    EXPECT_EQ(layout_gsensor(TelemetryLayout::innovv), GSensor::none);

    // The first box is the movie's first second, its two records half a
    // second apart; the next box is the next second, carried into 2026.
    const char* keys[5] = {"2025/12/31 23:59:59.0", "2025/12/31 23:59:59.5", "2026/01/01 00:00:0.0",
                           "2026/01/01 00:00:0.3", "2026/01/01 00:00:0.7"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(fix_key(fixes[i]), keys[i]) << i;
    EXPECT_DOUBLE_EQ(fixes[3].second, 1.0 / 3);
}

TEST(FreeGpsRegistry, InnovvWithoutTheMovieTimeGivesNoRecordsButKeepsItsSeconds) {
    Box b = new_box();
    put_innovv(b, 16, "NE", 100.0f, 200.0f, 0.0f, 0.0f);
    EXPECT_TRUE(decode_innovv({b, b}, std::nullopt).empty());
    // A movie time from before 1970 is a time all the same.
    const auto old = decode_innovv({b, b}, -kQuickTimeEpochOffset);
    ASSERT_EQ(old.size(), 2u);
    EXPECT_EQ(fix_key(old[0]), "1904/01/01 00:00:0.0");
    EXPECT_EQ(fix_key(old[1]), "1904/01/01 00:00:1.0");
    EXPECT_EQ(fix_key(decode_innovv({b}, kLatestMovieTime).at(0)), "9999/12/31 23:59:59.0");
    // No movie header holds times outside these.
    EXPECT_TRUE(decode_innovv({b}, -kQuickTimeEpochOffset - 1).empty());
    EXPECT_TRUE(decode_innovv({b}, kLatestMovieTime + 1).empty());
}

TEST(FreeGpsRegistry, InnovvRecordsAreFoundWhereExifToolFindsThem) {
    // Records need not follow each other: after the one at 16 the next
    // signature anywhere counts, and the search goes on after its 32 bytes, so
    // a signature inside a record's fields is no record. One that would reach
    // past the box's length is not taken.
    Box b = new_box(0x200);
    put_innovv(b, 16, "NE", 100.0f, 200.0f, 1.0f, 0.0f);
    put_innovv(b, 55, "NE", 100.0f, 200.0f, 2.0f, 0.0f);
    std::memcpy(b.data() + 55 + 20, "ANE", 4);  // in the second record's G-sensor words
    put_innovv(b, 0x200 - 64, "NE", 100.0f, 200.0f, 3.0f, 0.0f);
    std::memcpy(b.data() + 0x200 - 31, "ASE", 4);  // 31 bytes left: no room for a record
    auto fixes = decode_innovv({b}, kLastSecondOf2025);
    ASSERT_EQ(fixes.size(), 3u);
    EXPECT_NEAR(fixes[0].speed_kmh, 1.852, 1e-9);
    EXPECT_NEAR(fixes[1].speed_kmh, 2 * 1.852, 1e-9);
    EXPECT_NEAR(fixes[2].speed_kmh, 3 * 1.852, 1e-9);
    EXPECT_GT(fixes[2].latitude, 0);
    // The box's length, not the bytes handed over, bounds the search.
    FreeGpsState state;
    state.movie_created = kLastSecondOf2025;
    size_t n = 0;
    decode_freegps(
        TelemetryLayout::innovv, b, 0x200 - 40, state,
        [&](const TelemetryFix&) {
            ++n;
            return true;
        },
        BoxWay::scanned);
    EXPECT_EQ(n, 2u);
}

TEST(FreeGpsRegistry, InnovvKeysStayApartWhenABoxHoldsMoreThanTenRecords) {
    for (size_t count : {size_t{10}, size_t{12}, size_t{150}}) {
        Box b = new_box();
        for (size_t k = 0; k < count; ++k)
            put_innovv(b, 16 + 32 * k, "NE", 100.0f, 200.0f, 0.0f, 0.0f);
        const auto fixes = decode_innovv({b}, kLastSecondOf2025);
        ASSERT_EQ(fixes.size(), count);
        std::set<std::string> keys;
        for (const TelemetryFix& f : fixes)
            keys.insert(fix_key(f));
        EXPECT_EQ(keys.size(), count) << count;
        // A tenth while that is enough, as every other key.
        EXPECT_EQ(fix_key(fixes[1]), count == 10   ? "2025/12/31 23:59:59.1"
                                     : count == 12 ? "2025/12/31 23:59:59.08"
                                                   : "2025/12/31 23:59:59.007");
    }
}

TEST(FreeGpsRegistry, EveryDecoderYieldsNothingFromBoxesCutShort) {
    // Exact-size copies of a real box's first bytes: anything read past them
    // is caught by the sanitizer builds, and no decoder may invent a fix.
    const Box full = novatek_box();
    for (unsigned l = 0; l < static_cast<unsigned>(TelemetryLayout::count); ++l) {
        const auto layout = static_cast<TelemetryLayout>(l);
        for (size_t n : {size_t{0}, size_t{12}, kIdentifyBytes - 1, kIdentifyBytes}) {
            const Box cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(n));
            for (BoxWay way : {BoxWay::indexed, BoxWay::scanned}) {
                const auto fixes = decode(layout, cut, way);
                if (n < kIdentifyBytes) {
                    EXPECT_TRUE(fixes.empty()) << layout_name(layout) << " " << n;
                }
            }
        }
    }
    // Cut to the bytes a signature needs, the Novatek box still holds all its fields.
    const Box cut(full.begin(), full.begin() + kIdentifyBytes);
    EXPECT_EQ(decode(TelemetryLayout::novatek, cut, BoxWay::scanned).size(), 1u);
}

TEST(FreeGpsRegistry, RingBufferTakesOnlyNewerRecordsAcrossBoxes) {
    // Two boxes of the ring layout: the first holds records of 10:00:01 and
    // 10:00:00 (slots 0 and 1), the second adds 10:00:02 in slot 2. Records
    // are stored unencrypted (key bytes zero), which the layout allows.
    const auto record = [](Box& b, size_t slot, unsigned second) {
        const size_t at = 0x30 + 52 * slot;
        b[at + 0x0d] = 10 - 1;
        b[at + 0x0e] = 0;
        b[at + 0x0f] = static_cast<uint8_t>(second);
        put_le32(b, at + 0x10, static_cast<uint32_t>(-123456789));
        std::memcpy(b.data() + at + 0x15, "ATC", 3);
        put_le32(b, at + 0x18, 987654321);
        put_le32(b, at + 0x20, 1000);  // 10 m/s
        b[at + 0x24] = 0x18;           // -1000: -10 deg
        b[at + 0x25] = 0xfc;
        b[at + 0x2c] = 0xea;  // 2026
        b[at + 0x2d] = 0x07;
        b[at + 0x2e] = 6;
        b[at + 0x2f] = 1;
    };
    Box first = new_box();
    record(first, 0, 1);
    record(first, 1, 0);
    Box second = first;
    record(second, 2, 2);
    ASSERT_EQ(identify_freegps(first, BoxWay::scanned, first.size()), TelemetryLayout::atc_ring);
    std::vector<TelemetryFix> fixes;
    FreeGpsState state;
    const FixSink sink = [&](const TelemetryFix& f) {
        fixes.push_back(f);
        return true;
    };
    decode_freegps(TelemetryLayout::atc_ring, first, first.size(), state, sink, BoxWay::scanned);
    decode_freegps(TelemetryLayout::atc_ring, second, second.size(), state, sink, BoxWay::scanned);
    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_EQ(fixes[0].second, 1.0);
    EXPECT_EQ(fixes[1].second, 2.0);
    EXPECT_EQ(fixes[1].hour, 10u);
    EXPECT_EQ(fixes[1].year, 2026u);
    EXPECT_NEAR(fixes[1].latitude, -12.3456789, 1e-12);
    EXPECT_NEAR(fixes[1].longitude, 98.7654321, 1e-12);
    EXPECT_NEAR(fixes[1].speed_kmh, 36.0, 1e-9);
    EXPECT_NEAR(fixes[1].track, 350.0, 1e-9);
}

}  // namespace
}  // namespace camvault
