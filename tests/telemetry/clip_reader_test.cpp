// The read-ahead thread: chunks in file order through a small ring, read
// errors reported after the data read before them, early stops that end it.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

#include "telemetry/clip_reader.hpp"
#include "tests/telemetry/block_builder.hpp"
#include "tests/telemetry/temp_folder.hpp"

namespace camvault {
namespace {

using testing::TempFolder;

struct OpenFile {
    int fd;
    explicit OpenFile(const std::string& path) : fd(::open(path.c_str(), O_RDONLY)) {}
    ~OpenFile() { ::close(fd); }
};

std::vector<uint8_t> random_clip_with_blocks(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> clip(size);
    for (auto& b : clip)
        b = static_cast<uint8_t>(rng());
    for (size_t m = rng() % 400; m + kBlockSpan <= size; m += 332 + rng() % 300) {
        testing::PlantedBlock blk;
        blk.records[3].speed = static_cast<uint16_t>(m);
        testing::plant_block(clip, m, blk);
    }
    return clip;
}

TEST(PrefetchingClipReader, GivesTheReferenceRecordsForAnyChunkAndRingSize) {
    TempFolder dir;
    const auto clip = random_clip_with_blocks(40000, 5);
    testing::write_bytes(dir / "c.MOV", clip);
    const auto reference = scan_whole_buffer(clip);
    ASSERT_GT(reference.size(), 500u);
    for (size_t chunk : {1, 7, 375, 376, 4096, 40000, 100000}) {
        for (size_t slots : {2, 3, 8}) {
            OpenFile file(dir / "c.MOV");
            PrefetchingClipReader reader(file.fd, chunk, slots);
            std::vector<TelemetryRecord> got;
            const auto status = scan_chunks([&] { return reader.next(); },
                                            [&](const TelemetryRecord& r) {
                                                got.push_back(r);
                                                return true;
                                            });
            EXPECT_EQ(status, StreamStatus::done);
            EXPECT_EQ(got, reference) << chunk << " " << slots;
            EXPECT_EQ(reader.next().size, 0u);  // stays at the end
        }
    }
}

TEST(PrefetchingClipReader, ReportsAReadError) {
    TempFolder dir;
    OpenFile folder(dir.path());  // reading a folder fails with EISDIR
    PrefetchingClipReader reader(folder.fd, 64, 2);
    const Chunk chunk = reader.next();
    EXPECT_TRUE(chunk.failed);
    EXPECT_EQ(reader.error(), EISDIR);
    EXPECT_TRUE(reader.next().failed);
}

TEST(PrefetchingClipReader, StopsCleanlyWhenTheScanEndsEarly) {
    TempFolder dir;
    testing::write_bytes(dir / "c.MOV", random_clip_with_blocks(200000, 6));
    for (int round = 0; round < 20; ++round) {
        OpenFile file(dir / "c.MOV");
        PrefetchingClipReader reader(file.fd, 1000, 2);
        EXPECT_GT(reader.next().size, 0u);
        // Destroyed with the reading thread blocked on a full ring.
    }
}

}  // namespace
}  // namespace camvault
