// Every freeGPS layout CamVault decodes besides the original block, end to
// end against an independent reader: make-clip writes a playable clip with
// the layout's boxes where its cameras put them, camvault-extract writes the
// script, and ExifTool's reading of the same clip must agree fix by fix
// (tests/telemetry/exiftool_agreement.py). A disagreement fails the test.
#include <gtest/gtest.h>

#include <ostream>

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
};

// Names the case in test output rather than dumping its bytes.
void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.generator;
}

class LayoutAgreement : public ::testing::TestWithParam<LayoutCase> {};

// 40 seconds from 23:59:45 on New Year's Eve cross minute, hour, day, month
// and year; the route crosses the equator and the meridian, so every layout
// writes both signs of both coordinates; the ring-buffer layout wraps its ring.
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
    EXPECT_EQ(extracted.out, "written " + (dir / "data/L.data") + " (40 records; layout " +
                                 c.reported + "; " + c.gsensor + ")\n");

    const auto agreement = run_command("python3 " + quoted(kAgreement) + " " + quoted(clip) + " " +
                                       quoted(dir / "data/L.data"));
    EXPECT_EQ(agreement.status, 0) << agreement.out << agreement.err;
    EXPECT_EQ(agreement.out, "40 fixes agree\n");
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
                      LayoutCase{"atc-ring", "atc-ring", kNoGSensor}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) {
        std::string name = info.param.generator;
        for (char& ch : name)
            if (ch == '-')
                ch = '_';
        return name;
    });

}  // namespace
}  // namespace camvault
