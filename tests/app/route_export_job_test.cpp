// The page's route export writes UTC by the clock settings of settings.json.
#include "app/route_export_job.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_folder.hpp"
#include "tests/telemetry/block_builder.hpp"

namespace camvault {
namespace {

using testing::read_text;

// A clip of five records with a fix at 2017-05-21 13:05:00.0 to 13:05:04.0.
std::string write_clip(const std::string& path) {
    testing::write_bytes(path, testing::five_fix_clip());
    return path;
}

TEST(RouteExportJob, TheRequestTakesTheClockSettings) {
    ExportRouteArgs args;
    args.clips = {"/card/A.MOV"};
    args.format = "csv";
    args.speed_unit = "mph";
    Prefs prefs;
    prefs.clock_correction_s = -45;
    prefs.camera_utc_offset_min = 330;
    const RouteExportRequest request = route_export_request(args, prefs);
    EXPECT_EQ(request.clips, args.clips);
    EXPECT_EQ(request.format, RouteFormat::csv);
    EXPECT_EQ(request.csv_speed, SpeedUnit::mph);
    EXPECT_EQ(request.clock_correction_s, -45);
    EXPECT_EQ(request.utc_offset_minutes, 330);
}

TEST(RouteExportJob, TheFileHoldsTheCorrectedUtcTimes) {
    testing::TempFolder folder;
    ExportRouteArgs args;
    args.clips = {write_clip(folder / "A.MOV")};
    args.format = "gpx";
    Prefs prefs;
    const auto as_recorded = export_route_file(route_export_request(args, prefs), folder.path());
    ASSERT_TRUE(as_recorded) << as_recorded.error();
    EXPECT_NE(read_text(*as_recorded).find("<time>2017-05-21T13:05:00Z</time>"), std::string::npos);

    // UTC-03:00, the clock two minutes fast.
    prefs.camera_utc_offset_min = -180;
    prefs.clock_correction_s = -120;
    const auto corrected = export_route_file(route_export_request(args, prefs), folder.path());
    ASSERT_TRUE(corrected) << corrected.error();
    EXPECT_NE(*corrected, *as_recorded);  // a new name, the first file stays
    const std::string text = read_text(*corrected);
    EXPECT_NE(text.find("<time>2017-05-21T16:03:00Z</time>"), std::string::npos) << text;
    EXPECT_EQ(text.find("13:05:00"), std::string::npos);
}

}  // namespace
}  // namespace camvault
