// Writing telemetry script files: from bytes in memory and streamed from clip
// files, atomically, with errors a person can act on.
#include <gtest/gtest.h>

#include <algorithm>

#include <random>

#include "telemetry/extract.hpp"
#include "telemetry/script_text.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/telemetry/block_builder.hpp"

namespace camvault {
namespace {

using testing::plant_block;
using testing::PlantedBlock;
using testing::read_text;
using testing::TempFolder;
using testing::write_bytes;

// The script text expected from the reference scan and the line formatter.
std::string expected_script(const std::vector<uint8_t>& clip, const std::string& name) {
    std::string text = script_header(name);
    for (const auto& r : scan_whole_buffer(clip))
        append_record_line(text, name, r);
    return text;
}

std::vector<uint8_t> clip_with_blocks(size_t size, size_t every, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> clip(size);
    for (auto& b : clip)
        b = static_cast<uint8_t>(rng());
    for (size_t m = every / 3, i = 0; m + kBlockSpan <= size; m += every, ++i) {
        PlantedBlock blk;
        blk.minute = static_cast<uint8_t>(i % 60);
        for (size_t k = 0; k < kRecordsPerBlock; ++k) {
            blk.records[k].tenths = static_cast<uint16_t>(k * 10);
            blk.records[k].lat = static_cast<int32_t>(rng());
            blk.records[k].speed = static_cast<uint16_t>(rng());
        }
        plant_block(clip, m, blk);
    }
    return clip;
}

TEST(SplitData, WritesHeaderAndOneLinePerRecordReplacingAnOldFile) {
    TempFolder dir;
    write_bytes(dir / "A.data", std::vector<uint8_t>(100000, 'x'));
    const auto clip = clip_with_blocks(50000, 1000, 1);
    const auto result = splitData(clip, dir / "A.data", "A.MOV");
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->records, 500u);
    EXPECT_EQ(read_text(dir / "A.data"), expected_script(clip, "A.MOV"));
    EXPECT_EQ(testing::entries_in(dir.path()), 1u);  // no temporary file left behind
}

TEST(SplitData, ClipNameWithQuotesGivesARunnableScript) {
    TempFolder dir;
    const auto clip = clip_with_blocks(2000, 1000, 2);
    ASSERT_TRUE(splitData(clip, dir / "x.data", "it's \"x\".MOV"));
    const std::string text = read_text(dir / "x.data");
    EXPECT_EQ(
        text.rfind("data['it\\'s \\\"x\\\".MOV']=new Array();data[\"it\\'s \\\"x\\\".MOV\"][", 0),
        0u)
        << text;
}

TEST(ExtractClipFile, GivesExactlyWhatSplitDataGivesForTheSameBytes) {
    TempFolder dir;
    // Several read chunks long, with blocks every 4099 bytes so some straddle borders.
    const auto clip = clip_with_blocks(5 * 1048576 + 123, 4099, 3);
    write_bytes(dir / "C.MOV", clip);
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    const auto streamed =
        extract_clip_file(dir / "C.MOV", dir / "streamed.data", "C.MOV",
                          [&](uint64_t done, uint64_t total) { calls.emplace_back(done, total); });
    ASSERT_TRUE(streamed) << streamed.error();
    ASSERT_TRUE(splitData(clip, dir / "memory.data", "C.MOV"));
    EXPECT_EQ(read_text(dir / "streamed.data"), read_text(dir / "memory.data"));
    EXPECT_EQ(read_text(dir / "streamed.data"), expected_script(clip, "C.MOV"));
    EXPECT_EQ(streamed->records, scan_whole_buffer(clip).size());
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::make_pair(uint64_t{clip.size()}, uint64_t{clip.size()}));
}

TEST(ExtractClipFile, TelemetryBeyondTheLimitIsCutAndSaysSo) {
    TempFolder dir;
    // 10,010 blocks of ten records: ten blocks more than the limit holds.
    const size_t blocks = kMaxRecordsPerClip / kRecordsPerBlock + 10;
    const auto clip = clip_with_blocks(blocks * 400 + 400, 400, 5);
    write_bytes(dir / "BIG.MOV", clip);
    for (const bool from_file : {true, false}) {
        const auto result = from_file
                                ? extract_clip_file(dir / "BIG.MOV", dir / "BIG.data", "BIG.MOV")
                                : splitData(clip, dir / "BIG.data", "BIG.MOV");
        ASSERT_TRUE(result) << result.error();
        EXPECT_EQ(result->records, kMaxRecordsPerClip);
        EXPECT_TRUE(result->cut);
        const std::string text = read_text(dir / "BIG.data");
        EXPECT_EQ(static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n')),
                  kMaxRecordsPerClip);
        const std::string tail = "data_cut['BIG.MOV']=100000;";
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    }
    // Exactly the limit: nothing is cut.
    const auto exact = clip_with_blocks((blocks - 10) * 400 + 200, 400, 5);
    const auto whole = splitData(exact, dir / "EXACT.data", "EXACT.MOV");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->records, kMaxRecordsPerClip);
    EXPECT_FALSE(whole->cut);
    EXPECT_EQ(read_text(dir / "EXACT.data").find("data_cut"), std::string::npos);
}

TEST(ExtractClipFile, UnreadableClipsFailWithTheirPathAndReason) {
    TempFolder dir;
    const auto missing = extract_clip_file(dir / "none.MOV", dir / "none.data", "none.MOV");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error(), "cannot read " + (dir / "none.MOV") + ": No such file or directory");

    std::filesystem::create_directory(dir / "folder.MOV");
    const auto folder = extract_clip_file(dir / "folder.MOV", dir / "folder.data", "folder.MOV");
    EXPECT_FALSE(folder);
    EXPECT_EQ(folder.error(), "cannot read " + (dir / "folder.MOV") + ": Is a directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "folder.data"));
    EXPECT_FALSE(std::filesystem::exists(dir / "none.data"));
}

}  // namespace
}  // namespace camvault
