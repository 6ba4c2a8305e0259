// Every freeGPS layout CamVault decodes besides the original block, end to
// end against an independent reader: make-clip writes a playable clip with
// the layout's boxes where its cameras put them, camvault-extract writes the
// script, and ExifTool's reading of the same clip must agree fix by fix
// (tests/telemetry/exiftool_agreement.py). A disagreement fails the test.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/telemetry/run_command.hpp"

namespace camvault {
namespace {

using testing::quoted;
using testing::run_command;
using testing::TempFolder;

const std::string kMakeClip = std::string(CAMVAULT_SOURCE_DIR) + "/tools/make-clip";
const std::string kAgreement =
    std::string(CAMVAULT_SOURCE_DIR) + "/tests/telemetry/exiftool_agreement.py";

struct LayoutCase {
    const char* generator;  // make-clip --layout
    const char* reported;   // the name camvault-extract reports
    const char* gsensor;    // what the report says of x, y, z
    int records = 40;       // fixes in 40 seconds: one a second, GPS5's ten, INNOVV's five
};

// Names the case in test output rather than dumping its bytes.
void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.generator;
}

class LayoutAgreement : public ::testing::TestWithParam<LayoutCase> {};

// 40 seconds from 23:59:45 on New Year's Eve cross minute, hour, day, month
// and year; the route crosses the equator and the meridian, so every layout
// writes both signs of both coordinates; the ring-buffer layout wraps its ring;
// GoPro's ten positions a second get their times from the sample's GPSU and
// its duration, the day's last second's carried into the new year; INNOVV's
// five untimed records a box get the movie's creation time plus the box's
// second and their fifth of it.
TEST_P(LayoutAgreement, CamVaultRecordsMatchExifToolFixes) {
    const LayoutCase& c = GetParam();
    TempFolder dir;
    const std::string clip = dir / "L.MOV";
    const auto made = run_command(quoted(kMakeClip) +
                                  " --seconds 40 --size 160x120 --fps 10 --route null-island"
                                  " --start \"2025-12-31 23:59:45\" --layout " +
                                  c.generator + " " + quoted(clip));
    ASSERT_EQ(made.status, 0) << made.err;

    const auto extracted = run_command(quoted(CAMVAULT_EXTRACT_BIN) + " --data-dir " +
                                       quoted(dir / "data") + " " + quoted(clip));
    ASSERT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "written " + (dir / "data/L.data") + " (" + std::to_string(c.records) +
                                 " records; layout " + c.reported + "; " + c.gsensor + ")\n");

    const auto agreement = run_command("python3 " + quoted(kAgreement) + " " + quoted(clip) + " " +
                                       quoted(dir / "data/L.data"));
    EXPECT_EQ(agreement.status, 0) << agreement.out << agreement.err;
    EXPECT_EQ(agreement.out, std::to_string(c.records) + " fixes agree\n");
}

constexpr const char* kNoGSensor = "no G-sensor: x, y, z written as 0.00";
constexpr const char* kAxesUnknown = "G-sensor axes unknown: x, y, z as recorded";

INSTANTIATE_TEST_SUITE_P(
    FreeGps, LayoutAgreement,
    ::testing::Values(LayoutCase{"novatek", "novatek", kNoGSensor},
                      LayoutCase{"novatek-unindexed", "novatek", kNoGSensor},
                      LayoutCase{"viofo-a119v3", "viofo-a119v3", kAxesUnknown},
                      LayoutCase{"akaso", "akaso", kNoGSensor},
                      LayoutCase{"vantrue-s1", "vantrue-s1", kAxesUnknown},
                      LayoutCase{"azdome-text", "azdome-text", kAxesUnknown},
                      LayoutCase{"nextbase-nmea", "nextbase-nmea", kAxesUnknown},
                      LayoutCase{"rmc-shifted", "rmc-shifted", kNoGSensor},
                      LayoutCase{"doubles-type2", "doubles-type2", kAxesUnknown},
                      LayoutCase{"iqs-integer", "iqs-integer", kNoGSensor},
                      LayoutCase{"floats-type2e", "floats-type2e", kAxesUnknown},
                      LayoutCase{"vantrue-n4", "vantrue-n4", kAxesUnknown},
                      LayoutCase{"atc-ring", "atc-ring", kNoGSensor},
                      LayoutCase{"innovv", "innovv", kNoGSensor, 200},
                      LayoutCase{"nmea-text-track", "nmea-text-track", kNoGSensor},
                      LayoutCase{"gopro-gpmf", "gopro-gpmf", kAxesUnknown, 400}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) {
        std::string name = info.param.generator;
        for (char& ch : name)
            if (ch == '-')
                ch = '_';
        return name;
    });

// INNOVV boxes carry no time: in a movie whose header has none either, they
// give no records rather than a made-up date, though ExifTool reads their
// positions.
TEST(LayoutAgreement, InnovvBoxesInAMovieWithoutCreationTimeGiveNoRecords) {
    TempFolder dir;
    const std::string clip = dir / "U.MOV";
    const auto made = run_command(quoted(kMakeClip) +
                                  " --seconds 6 --size 160x120 --fps 5 --layout innovv"
                                  " --no-creation-time " +
                                  quoted(clip));
    ASSERT_EQ(made.status, 0) << made.err;
    const auto extracted = run_command(quoted(CAMVAULT_EXTRACT_BIN) + " --data-dir " +
                                       quoted(dir / "data") + " " + quoted(clip));
    ASSERT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "written " + (dir / "data/U.data") + " (0 records; layout innovv; " +
                                 kNoGSensor + ")\n");
    const auto exiftool = run_command("exiftool -ee -n -G3 -GPSLatitude " + quoted(clip));
    ASSERT_EQ(exiftool.status, 0) << exiftool.err;
    size_t positions = 0;
    for (size_t at = exiftool.out.find("GPS Latitude"); at != std::string::npos;
         at = exiftool.out.find("GPS Latitude", at + 1))
        ++positions;
    EXPECT_EQ(positions, 30u);
}

// ExifTool 12.57 reads NMEA only from QuickTime text tracks, not from tx3g
// subtitle tracks; CamVault reads both, and a subtitle track must give
// exactly the records of the text track that ExifTool agrees with above.
TEST(TrackTelemetry, SubtitleTrackGivesTheRecordsOfTheSameTextTrack) {
    TempFolder dir;
    std::string scripts[2];
    const char* layouts[2] = {"nmea-text-track", "nmea-subtitle-track"};
    for (int i = 0; i < 2; ++i) {
        const std::string clip = dir / (std::string(layouts[i]) + ".MOV");
        const auto made =
            run_command(quoted(kMakeClip) + " --seconds 12 --size 160x120 --fps 5 --layout " +
                        layouts[i] + " " + quoted(clip));
        ASSERT_EQ(made.status, 0) << made.err;
        const auto r = run_command(quoted(CAMVAULT_EXTRACT_BIN) + " --data-dir " +
                                   quoted(dir / "data") + " " + quoted(clip));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("(12 records; layout nmea-text-track;"), std::string::npos) << r.out;
        scripts[i] = testing::read_text(dir / ("data/" + std::string(layouts[i]) + ".data"));
        // The clip's name is in every line; what follows it must be the same.
        const std::string name = std::string(layouts[i]) + ".MOV";
        for (size_t at = scripts[i].find(name); at != std::string::npos;
             at = scripts[i].find(name, at))
            scripts[i].replace(at, name.size(), "CLIP");
    }
    EXPECT_EQ(scripts[0], scripts[1]);
}

}  // namespace
}  // namespace camvault
