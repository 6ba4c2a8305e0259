// The chunked scan against the whole-buffer reference scan: random buffers with
// markers planted close together, at the very end and across chunk borders.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "telemetry/stream_scan.hpp"
#include "tests/telemetry/block_builder.hpp"

namespace camvault {
namespace {

using testing::plant_block;
using testing::PlantedBlock;

// Reads `data` in pieces of a chosen size, each read possibly shorter still.
struct PieceReader {
    const std::vector<uint8_t>& data;
    size_t piece;
    std::mt19937* short_reads = nullptr;
    size_t at = 0;

    ptrdiff_t operator()(uint8_t* buf, size_t capacity) {
        size_t n = std::min({piece, capacity, data.size() - at});
        if (short_reads != nullptr && n > 1) {
            n = 1 + (*short_reads)() % n;
        }
        std::copy_n(data.begin() + static_cast<ptrdiff_t>(at), n, buf);
        at += n;
        return static_cast<ptrdiff_t>(n);
    }
};

std::vector<TelemetryRecord> chunked(const std::vector<uint8_t>& data, size_t chunk,
                                     std::mt19937* short_reads = nullptr) {
    std::vector<TelemetryRecord> out;
    PieceReader reader{data, chunk, short_reads};
    const auto status = scan_stream(std::ref(reader), chunk, [&](const TelemetryRecord& r) {
        out.push_back(r);
        return true;
    });
    EXPECT_EQ(status, StreamStatus::done);
    return out;
}

std::vector<TelemetryRecord> in_one_window(const std::vector<uint8_t>& data) {
    std::vector<TelemetryRecord> out;
    scan_window(data.data(), data.size(), 0, true, [&](const TelemetryRecord& r) {
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

TEST(StreamScan, MatchesTheReferenceScanOnThousandsOfRandomBuffers) {
    std::mt19937 rng(20260606);
    size_t blocks_seen = 0;
    for (int round = 0; round < 3000; ++round) {
        const auto data = random_clip(rng);
        const auto reference = scan_whole_buffer(data);
        blocks_seen += reference.size();
        ASSERT_EQ(in_one_window(data), reference) << "round " << round;
        // Chunk sizes around the block span and the marker put borders
        // everywhere; each round takes a few of them and one at random.
        const size_t sizes[] = {1, 6, 7, 8, 43, 331, 332, 375, 376, 377};
        const size_t chunks[] = {sizes[rng() % 10], sizes[rng() % 10], sizes[rng() % 10],
                                 1 + rng() % 2000};
        for (size_t chunk : chunks) {
            ASSERT_EQ(chunked(data, chunk), reference) << "round " << round << " chunk " << chunk;
        }
        ASSERT_EQ(chunked(data, 512, &rng), reference) << "round " << round << " short reads";
    }
    EXPECT_GT(blocks_seen, 10000u);  // the planted blocks were really decoded
}

TEST(StreamScan, BlockStraddlingEveryPossibleBorder) {
    std::mt19937 rng(7);
    std::vector<uint8_t> data(1024);
    plant_block(data, 300, random_block(rng));
    plant_block(data, 632, random_block(rng));
    const auto reference = scan_whole_buffer(data);
    ASSERT_FALSE(reference.empty());
    for (size_t chunk = 1; chunk <= data.size(); ++chunk) {
        ASSERT_EQ(chunked(data, chunk), reference) << chunk;
    }
}

TEST(StreamScan, ReportsReadErrorsAndStopsWhenTheSinkAsks) {
    std::vector<uint8_t> data(2000);
    std::mt19937 rng(1);
    plant_block(data, 0, random_block(rng));
    EXPECT_EQ(scan_stream([](uint8_t*, size_t) -> ptrdiff_t { return -1; }, 64,
                          [](const TelemetryRecord&) { return true; }),
              StreamStatus::read_failed);

    PieceReader reader{data, 100};
    size_t given = 0;
    EXPECT_EQ(
        scan_stream(std::ref(reader), 100, [&](const TelemetryRecord&) { return ++given < 2; }),
        StreamStatus::stopped);
    EXPECT_EQ(given, 2u);
}

}  // namespace
}  // namespace camvault
