// The segmented file scan against the whole-buffer reference scan: random
// buffers with markers planted 331, 332 and 340 bytes apart, at the very end
// and across segment and read borders, with and without worker threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "telemetry/segmented_scan.hpp"
#include "tests/support/layout_dispatch.hpp"
#include "tests/telemetry/block_builder.hpp"

namespace camvault {
namespace {

using testing::memory_reader;
using testing::plant_block;
using testing::PlantedBlock;

std::vector<TelemetryRecord> segmented(const std::vector<uint8_t>& data,
                                       const SegmentedScanOptions& options,
                                       bool short_reads = false) {
    std::vector<TelemetryRecord> out;
    const auto result = scan_segments(
        memory_reader(data, short_reads), data.size(),
        [&](const TelemetryRecord& r) {
            out.push_back(r);
            return true;
        },
        options);
    EXPECT_EQ(result.status, ScanStatus::done);
    return out;
}

std::vector<TelemetryRecord> in_memory(const std::vector<uint8_t>& data) {
    std::vector<TelemetryRecord> out;
    scan_in_memory(data.data(), data.size(), [&](const TelemetryRecord& r) {
        out.push_back(r);
        return true;
    });
    return out;
}

PlantedBlock random_block(std::mt19937& rng) {
    PlantedBlock blk;
    blk.year = static_cast<uint16_t>(rng());
    blk.month = static_cast<uint8_t>(rng());
    blk.minute = static_cast<uint8_t>(rng() % 60);
    blk.x = static_cast<int32_t>(rng());
    for (auto& rec : blk.records) {
        rec.status = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 2);
        rec.speed = static_cast<uint16_t>(rng());
        rec.tenths = static_cast<uint16_t>(rng() % 600);
        rec.lat = static_cast<int32_t>(rng());
    }
    return blk;
}

// A random buffer with runs of markers 331, 332 or 340 bytes apart, partial
// markers and markers in the last bytes.
std::vector<uint8_t> random_clip(std::mt19937& rng) {
    const size_t size = 1 + rng() % 6000;
    std::vector<uint8_t> data(size);
    // Few distinct byte values make stray 'f's and near-markers common.
    const bool sparse = rng() % 2 == 0;
    for (auto& b : data) {
        b = sparse ? static_cast<uint8_t>("freeGPS\0"[rng() % 8]) : static_cast<uint8_t>(rng());
    }
    const size_t gaps[] = {331, 332, 340};
    size_t m = rng() % 700;
    const size_t runs = rng() % 12;
    for (size_t i = 0; i < runs && m < size; ++i) {
        if (m + kBlockSpan <= size) {
            plant_block(data, m, random_block(rng));
        } else {
            for (size_t j = 0; j < kMarker.size() && m + j < size; ++j)
                data[m + j] = kMarker[j];
        }
        m += gaps[rng() % 3];
    }
    if (size >= kMarker.size() && rng() % 3 == 0) {
        // A marker somewhere in the last 376 bytes, down to the very last 7.
        const size_t back =
            kMarker.size() + rng() % std::min<size_t>(size - kMarker.size() + 1, 376);
        std::copy(kMarker.begin(), kMarker.end(), data.end() - static_cast<ptrdiff_t>(back));
    }
    return data;
}

TEST(SegmentedScan, MatchesTheReferenceScanOnThousandsOfRandomBuffers) {
    std::mt19937 rng(20260606);
    size_t blocks_seen = 0;
    // Segment and read sizes around the marker, the step and the block span
    // put borders everywhere.
    const size_t sizes[] = {1, 6, 7, 8, 43, 331, 332, 333, 375, 376, 377, 700};
    for (int round = 0; round < 3000; ++round) {
        const auto data = random_clip(rng);
        const auto reference = scan_whole_buffer(data);
        blocks_seen += reference.size();
        ASSERT_EQ(in_memory(data), reference) << "round " << round;
        for (int variant = 0; variant < 3; ++variant) {
            SegmentedScanOptions options;
            options.segment_size = rng() % 4 == 0 ? 1 + rng() % 3000 : sizes[rng() % 12];
            options.piece_size = rng() % 2 == 0 ? 1 + rng() % 1000 : sizes[rng() % 12];
            options.workers = 0;
            if (variant > 0) {
                // Threads hand over every segment: keep their segments from
                // being tiny, or the test spends its time switching threads.
                options.segment_size = std::max<uint64_t>(options.segment_size, 300);
                options.workers = static_cast<unsigned>(1 + rng() % 3);
            }
            const bool short_reads = rng() % 3 == 0;
            ASSERT_EQ(segmented(data, options, short_reads), reference)
                << "round " << round << " segment " << options.segment_size << " piece "
                << options.piece_size << " workers " << options.workers;
        }
    }
    EXPECT_GT(blocks_seen, 10000u);  // the planted blocks were really decoded
}

TEST(SegmentedScan, BlockStraddlingEveryPossibleSegmentBorder) {
    std::mt19937 rng(7);
    std::vector<uint8_t> data(1400);
    // 331 apart after a taken block: the carried step must skip the second.
    plant_block(data, 300, random_block(rng));
    plant_block(data, 631, random_block(rng));
    plant_block(data, 632, random_block(rng));
    plant_block(data, 964, random_block(rng));
    const auto reference = scan_whole_buffer(data);
    ASSERT_FALSE(reference.empty());
    for (size_t segment = 1; segment <= data.size(); ++segment) {
        for (unsigned workers : {0u, 2u}) {
            ASSERT_EQ(segmented(data, {segment, 64, workers}), reference) << segment;
        }
    }
}

TEST(SegmentedScan, ReadErrorsAreReportedWithTheirErrno) {
    std::vector<uint8_t> data(100000);
    std::mt19937 rng(1);
    plant_block(data, 0, random_block(rng));
    const PositionalReader failing = [&](uint8_t* buf, size_t size, uint64_t offset) -> ptrdiff_t {
        if (offset + size > 60000)
            return -EIO;
        std::memcpy(buf, data.data() + offset, size);
        return static_cast<ptrdiff_t>(size);
    };
    for (unsigned workers : {0u, 3u}) {
        size_t records = 0;
        const auto result = scan_segments(failing, data.size(),
                                          [&](const TelemetryRecord&) { return ++records, true; },
                                          {10000, 1000, workers});
        EXPECT_EQ(result.status, ScanStatus::read_failed);
        EXPECT_EQ(result.error, EIO);
    }
}

TEST(SegmentedScan, StopsWhenTheSinkAsksAndWhenTheFileEndsEarly) {
    std::vector<uint8_t> data(200000);
    std::mt19937 rng(2);
    for (size_t m = 100; m + kBlockSpan <= data.size(); m += 5000)
        plant_block(data, m, random_block(rng));
    for (unsigned workers : {0u, 2u}) {
        size_t given = 0;
        const auto stopped = scan_segments(memory_reader(data), data.size(),
                                           [&](const TelemetryRecord&) { return ++given < 3; },
                                           {1000, 100, workers});
        EXPECT_EQ(stopped.status, ScanStatus::stopped);
        EXPECT_EQ(given, 3u);

        // The file is shorter than its size said: scanned up to where it ends.
        const std::vector<uint8_t> head(data.begin(), data.begin() + 50000);
        std::vector<TelemetryRecord> got;
        std::vector<uint64_t> progress;
        const auto shrunk = scan_segments(
            memory_reader(head), data.size(),
            [&](const TelemetryRecord& r) { return got.push_back(r), true; }, {7000, 1000, workers},
            [&](uint64_t done) { progress.push_back(done); });
        EXPECT_EQ(shrunk.status, ScanStatus::done);
        EXPECT_EQ(got, scan_whole_buffer(head));
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    }
}

TEST(SegmentedScan, ReadsEachByteOnceBesidesTheOverlaps) {
    std::vector<uint8_t> data(1 << 20);
    std::atomic<uint64_t> read_bytes{0};
    const PositionalReader counting = [&](uint8_t* buf, size_t size, uint64_t offset) -> ptrdiff_t {
        const size_t n = std::min<uint64_t>(size, data.size() - offset);
        std::memcpy(buf, data.data() + offset, n);
        read_bytes += n;
        return static_cast<ptrdiff_t>(n);
    };
    scan_segments(counting, data.size(), [](const TelemetryRecord&) { return true; },
                  {65536, 4096, 2});
    // Each segment reads its own bytes and the few it shares with the next.
    EXPECT_EQ(read_bytes.load(), data.size() + 15 * (kBlockSpan - 1));
}

}  // namespace
}  // namespace camvault
