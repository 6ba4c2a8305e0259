// The marker search, the field readers and the decoding of blocks.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "telemetry/scanner.hpp"
#include "tests/telemetry/block_builder.hpp"

namespace camvault {
namespace {

using testing::plant_block;
using testing::PlantedBlock;

std::vector<uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> out;
    for (int v : list)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

TEST(IndexOfData, FindsTheFirstOccurrenceAtOrAfterTheOffset) {
    std::vector<uint8_t> data = {1, 2};
    data.insert(data.end(), kMarker.begin(), kMarker.end());
    EXPECT_EQ(indexOfData(kMarker, data, 0), 2u);
    EXPECT_EQ(indexOfData(kMarker, data, 2), 2u);
    EXPECT_EQ(indexOfData(kMarker, data, 3), kNotFound);
    EXPECT_EQ(indexOfData(kMarker, data, UINT64_MAX), kNotFound);
    const std::vector<uint8_t> six(kMarker.begin(), kMarker.begin() + 6);
    EXPECT_EQ(indexOfData(kMarker, six, 0), kNotFound);
    EXPECT_EQ(indexOfData(kMarker, {}, 0), kNotFound);
}

TEST(IndexOfData, LowestOfOverlappingCandidatesWinsAndCaseMatters) {
    const auto data = bytes({'a', 'a', 'a', 'b'});
    EXPECT_EQ(indexOfData(bytes({'a', 'a', 'b'}), data, 0), 1u);
    EXPECT_EQ(indexOfData(bytes({'A'}), data, 0), kNotFound);
    EXPECT_EQ(indexOfData(bytes({'a', 'b'}), data, 2), 2u);
}

TEST(Hextodec, ReadsBigEndianUnsigned) {
    EXPECT_EQ(hextodec(bytes({0x0D})), 13u);
    EXPECT_EQ(hextodec(bytes({0xFF, 0xFF})), 65535u);
    EXPECT_EQ(hextodec(bytes({0x07, 0xE1})), 2017u);
    EXPECT_EQ(hextodec({}), 0u);
    EXPECT_EQ(hextodec(bytes({0x12, 0x34, 0x56, 0x78})), 0x12345678u);
    EXPECT_EQ(hextodec(bytes({0x00, 0x12, 0x34, 0x56, 0x78})), 0x12345678u);
    EXPECT_EQ(hextodec(bytes({0x01, 0x00, 0x00, 0x00, 0x00})), UINT32_MAX);
}

PlantedBlock example_block() {
    PlantedBlock blk;
    blk.x = 12000000;
    blk.y = -980000000;
    blk.z = 1500000000;
    blk.records[0] = {1000, 0, 565, 2, 515074000, -31791000};
    return blk;
}

TEST(BlockScan, MarkerAtZeroDecodesTheExampleFieldsAtTheirOffsets) {
    std::vector<uint8_t> clip(376);
    PlantedBlock blk = example_block();
    for (size_t k = 1; k < kRecordsPerBlock; ++k)
        blk.records[k].status = 0;
    plant_block(clip, 0, blk);
    // The documented absolute positions of a block at 0.
    EXPECT_EQ(clip[50], 0x07);
    EXPECT_EQ(clip[51], 0xE1);
    EXPECT_EQ(clip[58], 2);
    EXPECT_EQ(clip[59], 0x1E);
    EXPECT_EQ(clip[364], 0x00);
    EXPECT_EQ(clip[365], 0xB7);

    const auto records = scan_whole_buffer(clip);
    ASSERT_EQ(records.size(), 1u);
    const TelemetryRecord& r = records[0];
    EXPECT_EQ(r.year, 2017);
    EXPECT_EQ(r.month, 5);
    EXPECT_EQ(r.day, 21);
    EXPECT_EQ(r.hour, 13);
    EXPECT_EQ(r.minute, 5);
    EXPECT_EQ(r.tenths_of_second, 565);
    EXPECT_EQ(r.speed, 1000);
    EXPECT_EQ(r.degrees, 0);
    EXPECT_EQ(r.latitude, 515074000);
    EXPECT_EQ(r.longitude, -31791000);
    EXPECT_EQ(r.x, 12000000);
    EXPECT_EQ(r.y, -980000000);
    EXPECT_EQ(r.z, 1500000000);
    EXPECT_FALSE(r.next_minute);
}

TEST(BlockScan, DegreesFieldIsTheHighHalfOfASignedWord) {
    std::vector<uint8_t> clip(376);
    PlantedBlock blk;
    blk.records[0].degrees_field = 0x1234;
    blk.records[1].degrees_field = 0xFFFF;
    for (size_t k = 2; k < kRecordsPerBlock; ++k)
        blk.records[k].status = 1;
    plant_block(clip, 0, blk);
    const auto records = scan_whole_buffer(clip);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].degrees, 0x12340000);
    EXPECT_EQ(records[1].degrees, -65536);
}

TEST(BlockScan, OnlyStatusTwoIsUsedAndLaterRecordsTakeRecordZerosDate) {
    std::vector<uint8_t> clip(376);
    PlantedBlock blk = example_block();
    for (size_t k = 0; k < kRecordsPerBlock; ++k) {
        blk.records[k].tenths = static_cast<uint16_t>(100 + k);
        blk.records[k].speed = static_cast<uint16_t>(k);
        blk.records[k].status = k == 0 ? 3 : (k == 4 ? 0 : 2);
    }
    plant_block(clip, 0, blk);
    // Garbage in records 1..9 where record 0 keeps the date must be ignored.
    for (size_t k = 1; k < kRecordsPerBlock; ++k) {
        for (size_t i = 6; i < 12; ++i)
            clip[44 + 32 * k + i] = 0xEE;
    }
    const auto records = scan_whole_buffer(clip);
    ASSERT_EQ(records.size(), 8u);
    for (const auto& r : records) {
        EXPECT_EQ(r.year, 2017);
        EXPECT_EQ(r.month, 5);
        EXPECT_EQ(r.minute, 5);
        EXPECT_NE(r.speed, 0);
        EXPECT_NE(r.speed, 4);
        EXPECT_EQ(r.tenths_of_second, 100 + r.speed);
    }
}

TEST(BlockScan, SecondLowerThanRecordZerosMarksTheNextMinute) {
    std::vector<uint8_t> clip(376);
    PlantedBlock blk;
    const uint16_t tenths[] = {595, 596, 597, 598, 599, 0, 1, 2, 3, 595};
    for (size_t k = 0; k < kRecordsPerBlock; ++k)
        blk.records[k].tenths = tenths[k];
    blk.records[0].status = 0;  // record 0's second counts even when the record is not used
    plant_block(clip, 0, blk);
    const auto records = scan_whole_buffer(clip);
    ASSERT_EQ(records.size(), 9u);
    for (const auto& r : records) {
        EXPECT_EQ(r.next_minute, r.tenths_of_second < 595) << r.tenths_of_second;
    }
}

std::vector<uint64_t> marker_positions(const std::vector<uint8_t>& clip) {
    std::vector<uint64_t> at;
    for (const auto& r : scan_whole_buffer(clip))
        at.push_back(r.speed);
    return at;
}

// Plants blocks whose record 0 carries its marker position as speed.
std::vector<uint8_t> clip_with_markers(size_t size, const std::vector<size_t>& positions) {
    std::vector<uint8_t> clip(size);
    for (size_t m : positions) {
        PlantedBlock blk;
        for (size_t k = 1; k < kRecordsPerBlock; ++k)
            blk.records[k].status = 0;
        blk.records[0].speed = static_cast<uint16_t>(m);
        if (m + kBlockSpan <= size) {
            plant_block(clip, m, blk);
        } else {
            for (size_t i = 0; i < kMarker.size() && m + i < size; ++i)
                clip[m + i] = kMarker[i];
        }
    }
    return clip;
}

TEST(BlockScan, StepsThreeHundredThirtyTwoBytesFromTheMarker) {
    EXPECT_EQ(marker_positions(clip_with_markers(2000, {10, 342})),
              (std::vector<uint64_t>{10, 342}));
    EXPECT_EQ(marker_positions(clip_with_markers(2000, {10, 341})), (std::vector<uint64_t>{10}));
    // A marker in the last 44 bytes of the previous block starts a block of its own.
    EXPECT_EQ(marker_positions(clip_with_markers(2000, {0, 375})), (std::vector<uint64_t>{0, 375}));
    // 331 apart: the second is skipped, but a third 332 after the first is found.
    EXPECT_EQ(marker_positions(clip_with_markers(2000, {0, 331, 663})),
              (std::vector<uint64_t>{0, 663}));
}

TEST(BlockScan, NoMarkerOrAShortClipGivesNothing) {
    EXPECT_TRUE(scan_whole_buffer(std::vector<uint8_t>(5000, 0x66)).empty());
    EXPECT_TRUE(
        scan_whole_buffer(std::vector<uint8_t>(kMarker.begin(), kMarker.end() - 1)).empty());
    EXPECT_TRUE(scan_whole_buffer({}).empty());
}

TEST(BlockScan, MarkerWithoutAWholeBlockEndsTheScanWithoutReadingPastTheEnd) {
    for (size_t size : {size_t{375}, size_t{376}, size_t{400}}) {
        // An exact-size heap copy lets the address sanitizer catch any read past the end.
        const auto clip = clip_with_markers(size, {0});
        auto exact = std::make_unique<uint8_t[]>(size);
        std::copy(clip.begin(), clip.end(), exact.get());
        const auto records = scan_whole_buffer({exact.get(), size});
        EXPECT_EQ(records.size(), size >= 376 ? 1u : 0u) << size;
    }
    EXPECT_EQ(marker_positions(clip_with_markers(1000, {0, 400, 700})),
              (std::vector<uint64_t>{0, 400}));
}

TEST(FindMarker, EverySearchAgreesWithIndexOfData) {
    const auto searches = available_marker_searches();
    ASSERT_FALSE(searches.empty());
    std::mt19937 rng(3);
    for (int round = 0; round < 400; ++round) {
        // Sizes around the vector searches' 64-byte stretches, full of near-markers.
        std::vector<uint8_t> d(1 + rng() % 300);
        for (auto& b : d)
            b = static_cast<uint8_t>("freeGPSx"[rng() % 8]);
        for (int k = rng() % 4; k > 0 && d.size() >= kMarker.size(); --k) {
            const size_t at = rng() % (d.size() - kMarker.size() + 1);
            std::copy(kMarker.begin(), kMarker.end(), d.begin() + static_cast<ptrdiff_t>(at));
        }
        for (size_t from = 0; from <= d.size() + 1; ++from) {
            const uint64_t ref = indexOfData(kMarker, d, from);
            for (size_t s = 0; s < searches.size(); ++s) {
                const size_t got = searches[s](d.data(), d.size(), from);
                ASSERT_EQ(got == d.size() ? kNotFound : got, ref)
                    << "search " << s << " size " << d.size() << " from " << from;
            }
        }
    }
}

}  // namespace
}  // namespace camvault
