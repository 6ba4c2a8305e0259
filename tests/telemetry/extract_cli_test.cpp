// camvault-extract as a person runs it: where files go, skipping, forcing,
// failures that do not stop the other clips, and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "telemetry/extract.hpp"
#include "tests/telemetry/block_builder.hpp"
#include "tests/telemetry/run_command.hpp"

namespace camvault {
namespace {

using testing::quoted;
using testing::read_text;
using testing::run_command;
using testing::TempFolder;
using testing::write_bytes;

std::vector<uint8_t> clip_with_one_block() {
    std::vector<uint8_t> clip(2048);
    testing::PlantedBlock blk;
    for (size_t k = 5; k < kRecordsPerBlock; ++k)
        blk.records[k].status = 0;
    testing::plant_block(clip, 700, blk);
    return clip;
}

std::string extract(const std::string& args, const std::string& home = "") {
    return (home.empty() ? "" : "HOME=" + quoted(home) + " ") + quoted(CAMVAULT_EXTRACT_BIN) + " " +
           args;
}

TEST(ExtractCli, WritesIntoTheLibraryDataFolderByTheNamingRule) {
    TempFolder home;
    TempFolder clips;
    write_bytes(clips / "trip.movie.MOV", clip_with_one_block());
    const auto r = run_command(extract(quoted(clips / "trip.movie.MOV"), home.path()));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string script = home / "CAMVAULT/data/trip.dataie.data";
    EXPECT_EQ(r.out, "written " + script + " (5 records)\n");
    EXPECT_EQ(
        read_text(script).rfind("data['trip.movie.MOV']=new Array();data[\"trip.movie.MOV\"]", 0),
        0u);
}

TEST(ExtractCli, SkipsExistingScriptsUnlessForced) {
    TempFolder data;
    TempFolder clips;
    write_bytes(clips / "A.MOV", clip_with_one_block());
    write_bytes(data / "A.data", {'o', 'l', 'd'});
    const std::string args = "--data-dir " + quoted(data.path()) + " " + quoted(clips / "A.MOV");

    const auto skipped = run_command(extract(args));
    EXPECT_EQ(skipped.status, 0);
    EXPECT_EQ(skipped.out, "skipped " + (data / "A.data") + " (exists)\n");
    EXPECT_EQ(read_text(data / "A.data"), "old");

    const auto forced = run_command(extract("--force " + args));
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(forced.out, "written " + (data / "A.data") + " (5 records)\n");
    EXPECT_EQ(read_text(data / "A.data").rfind("data['A.MOV']=new Array();", 0), 0u);
}

TEST(ExtractCli, KeepsGoingAfterAFailedClipAndExitsNonZero) {
    TempFolder data;
    TempFolder clips;
    write_bytes(clips / "A.MOV", clip_with_one_block());
    write_bytes(clips / "B.mov", {});
    write_bytes(clips / "notes.txt", {});
    const auto r =
        run_command(extract("--data-dir " + quoted(data / "new/folder") + " " +
                            quoted(clips / "missing.MOV") + " " + quoted(clips / "A.MOV") + " " +
                            quoted(clips / "notes.txt") + " " + quoted(clips / "B.mov")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "written " + (data / "new/folder/A.data") + " (5 records)\nwritten " +
                         (data / "new/folder/B.data") + " (0 records)\n");
    EXPECT_NE(r.err.find("cannot read " + (clips / "missing.MOV") + ": No such file or directory"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("notes.txt: not a .MOV or .mov clip"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2 of 4 clips failed"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(data / "new/folder/B.data"), "data['B.mov']=new Array();");
}

TEST(ExtractCli, RejectsBadUsageAndUnwritableFolders) {
    EXPECT_EQ(run_command(extract("")).status, 2);
    EXPECT_EQ(run_command(extract("--bogus x.MOV")).status, 2);
    EXPECT_EQ(run_command(extract("x.MOV --data-dir")).status, 2);
    TempFolder clips;
    write_bytes(clips / "A.MOV", clip_with_one_block());
    write_bytes(clips / "file", {});
    const auto r = run_command(
        extract("--data-dir " + quoted(clips / "file/sub") + " " + quoted(clips / "A.MOV")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create " + (clips / "file/sub")), std::string::npos) << r.err;
}

// The clip's route as CSV rows after the header, with HOME set to `home`.
std::string csv_rows(const std::string& args, const std::string& home) {
    const auto r = run_command(extract("--format csv " + args, home));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.substr(r.out.find('\n') + 1);
}

TEST(ExtractCli, RouteTimesTakeTheClockSettingsOfTheLibrary) {
    TempFolder home;
    TempFolder clips;
    TempFolder other;
    write_bytes(clips / "A.MOV", testing::five_fix_clip());  // 2017-05-21 13:05
    const std::string a = quoted(clips / "A.MOV");

    const std::string as_recorded = csv_rows(a, home.path());
    ASSERT_EQ(as_recorded.rfind("2017-05-21T13:05:", 0), 0u) << as_recorded;

    // The library's settings: the camera in UTC+2, its clock 90 s slow.
    std::filesystem::create_directories(home / "CAMVAULT/data");
    testing::write_text(home / "CAMVAULT/data/settings.json",
                        R"({"clock_correction_s":90,"camera_utc_offset_min":120})");
    const std::string corrected = csv_rows(a, home.path());
    EXPECT_EQ(corrected.rfind("2017-05-21T11:06:", 0), 0u) << corrected;
    EXPECT_EQ(std::count(corrected.begin(), corrected.end(), '\n'),
              std::count(as_recorded.begin(), as_recorded.end(), '\n'));

    // --data-dir names another library's settings; one without any takes the clock as UTC.
    EXPECT_EQ(csv_rows("--data-dir " + quoted(other.path()) + " " + a, home.path()), as_recorded);
    testing::write_text(other / "settings.json", R"({"camera_utc_offset_min":-300})");
    EXPECT_EQ(csv_rows("--data-dir " + quoted(other.path()) + " " + a, home.path())
                  .rfind("2017-05-21T18:05:", 0),
              0u);
    // Settings that are not valid are left aside.
    testing::write_text(other / "settings.json", R"({"camera_utc_offset_min":"+02:00"})");
    EXPECT_EQ(csv_rows("--data-dir " + quoted(other.path()) + " " + a, home.path()), as_recorded);
    // A route's --data-dir is only read from.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(other.path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace camvault
