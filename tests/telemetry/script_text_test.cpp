// The script text: record lines to the byte, record keys with wrapped seconds,
// position labels, and escaping of clip names.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "telemetry/script_text.hpp"

namespace camvault {
namespace {

TelemetryRecord example_record() {
    TelemetryRecord r;
    r.year = 2017;
    r.month = 5;
    r.day = 21;
    r.hour = 13;
    r.minute = 5;
    r.tenths_of_second = 565;
    r.speed = 1000;
    r.degrees = 0;
    r.latitude = 515074000;
    r.longitude = -31791000;
    r.x = 12000000;
    r.y = -980000000;
    r.z = 1500000000;
    return r;
}

std::string line_for(const TelemetryRecord& r, std::string_view escaped_name = "A.MOV") {
    std::string out;
    append_record_line(out, escaped_name, r);
    return out;
}

TEST(ScriptText, ExampleRecordLineToTheByte) {
    EXPECT_EQ(script_header("A.MOV"), "data['A.MOV']=new Array();");
    EXPECT_EQ(
        line_for(example_record()),
        "data[\"A.MOV\"][\"2017/05/21 13:05:56.5\"]=new Array();"
        "data[\"A.MOV\"][\"2017/05/21 13:05:56.5\"]={'speed':\"36.000000\",'degrees':\"0.00\","
        "'lat':\"51.5073967\",'lon':\"-3.1791000\",'x':\"0.01\",'y':\"-0.98\",'z':\"1.50\","
        "'lbs':\"51[ 30' 26.64:,-3[ 10' 44.76:\"};\n");
}

TEST(ScriptText, SingleAndDoublePrecisionConversions) {
    TelemetryRecord r = example_record();
    r.x = -1000000;    // rounds to zero, keeps its sign
    r.y = 2147483647;  // float(INT32_MAX) is 2^31
    r.z = -2147483647 - 1;
    r.speed = 65535;         // 2359.26 in double
    r.degrees = 0x7FFF0000;  // the largest degrees value
    r.latitude = -2147483647 - 1;
    const std::string line = line_for(r);
    EXPECT_NE(line.find("'x':\"-0.00\",'y':\"2.15\",'z':\"-2.15\""), std::string::npos) << line;
    EXPECT_NE(line.find("'speed':\"2359.260000\""), std::string::npos) << line;
    EXPECT_NE(line.find("'degrees':\"214.74\""), std::string::npos) << line;
    EXPECT_NE(line.find("'lat':\"-214.7483673\""), std::string::npos) << line;
    EXPECT_NE(line.find("'lbs':\"-214[ 44' 54.11:,"), std::string::npos) << line;
}

// The record line written the obvious way, with snprintf, for comparison.
std::string printf_line(const TelemetryRecord& r) {
    const auto f = [](int32_t v, float d) {
        return static_cast<double>(static_cast<float>(v) / d);
    };
    char key[64];
    std::snprintf(key, sizeof key, "%d/%02d/%02d %02d:%02d:%.1f", r.year, r.month, r.day, r.hour,
                  r.minute, static_cast<double>(static_cast<float>(r.tenths_of_second) / 10.0f));
    char line[1024];
    std::snprintf(line, sizeof line,
                  "data[\"A.MOV\"][\"%s\"]=new Array();data[\"A.MOV\"][\"%s\"]={'speed':\"%f\","
                  "'degrees':\"%.2f\",'lat':\"%.7f\",'lon':\"%.7f\",'x':\"%.2f\",'y':\"%.2f\","
                  "'z':\"%.2f\",'lbs':\"%s\"};\n",
                  key, key, r.speed * 0.036, f(r.degrees, 1e7f), f(r.latitude, 1e7f),
                  f(r.longitude, 1e7f), f(r.x, 1e9f), f(r.y, 1e9f), f(r.z, 1e9f),
                  nicePosition(r.latitude / 1e7, r.longitude / 1e7).c_str());
    return line;
}

TEST(ScriptText, NumbersMatchPrintfForRandomRecords) {
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; ++i) {
        TelemetryRecord r;
        r.year = static_cast<uint16_t>(rng());
        r.month = static_cast<uint8_t>(rng() % 13);
        r.day = static_cast<uint8_t>(rng());
        r.hour = static_cast<uint8_t>(rng() % 30);
        r.minute = static_cast<uint8_t>(rng());
        r.tenths_of_second = static_cast<uint16_t>(rng() % 700);
        r.speed = static_cast<uint16_t>(rng());
        r.degrees = static_cast<int32_t>(rng() & 0xFFFF0000u);
        // Small magnitudes too, where rounding to zero and signs are at stake.
        const int shift = static_cast<int>(rng() % 32);
        r.latitude = static_cast<int32_t>(rng()) >> shift;
        r.longitude = static_cast<int32_t>(rng()) >> (31 - shift);
        r.x = static_cast<int32_t>(rng()) >> shift;
        r.y = static_cast<int32_t>(rng()) >> (rng() % 32);
        r.z = static_cast<int32_t>(rng());
        ASSERT_EQ(line_for(r), printf_line(r)) << i;
    }
}

TEST(RecordKey, SecondHasOneDecimalAndNoLeadingZero) {
    TelemetryRecord r = example_record();
    r.tenths_of_second = 52;
    EXPECT_EQ(record_key(r), "2017/05/21 13:05:5.2");
    r.year = 17;
    r.tenths_of_second = 0;
    EXPECT_EQ(record_key(r), "17/05/21 13:05:0.0");
    r.tenths_of_second = 65535;
    EXPECT_EQ(record_key(r), "17/05/21 13:05:6553.5");
}

TelemetryRecord wrapped(uint16_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute) {
    TelemetryRecord r;
    r.year = year;
    r.month = month;
    r.day = day;
    r.hour = hour;
    r.minute = minute;
    r.tenths_of_second = 3;
    r.next_minute = true;
    return r;
}

TEST(RecordKey, WrappedSecondCarriesTheMinuteThroughTheCalendar) {
    EXPECT_EQ(record_key(wrapped(2017, 5, 21, 13, 5)), "2017/05/21 13:06:0.3");
    EXPECT_EQ(record_key(wrapped(2017, 5, 21, 13, 59)), "2017/05/21 14:00:0.3");
    EXPECT_EQ(record_key(wrapped(2017, 5, 31, 23, 59)), "2017/06/01 00:00:0.3");
    EXPECT_EQ(record_key(wrapped(2017, 12, 31, 23, 59)), "2018/01/01 00:00:0.3");
    EXPECT_EQ(record_key(wrapped(2024, 2, 28, 23, 59)), "2024/02/29 00:00:0.3");
    EXPECT_EQ(record_key(wrapped(2023, 2, 28, 23, 59)), "2023/03/01 00:00:0.3");
    EXPECT_EQ(record_key(wrapped(1900, 2, 28, 23, 59)), "1900/03/01 00:00:0.3");
    EXPECT_EQ(record_key(wrapped(2000, 2, 28, 23, 59)), "2000/02/29 00:00:0.3");
    EXPECT_EQ(record_key(wrapped(2017, 4, 30, 23, 59)), "2017/05/01 00:00:0.3");
}

TEST(RecordKey, ImpossibleDateMovesOnlyTheMinute) {
    EXPECT_EQ(record_key(wrapped(2017, 13, 1, 23, 59)), "2017/13/01 23:60:0.3");
    EXPECT_EQ(record_key(wrapped(2017, 2, 30, 23, 59)), "2017/02/30 23:60:0.3");
    EXPECT_EQ(record_key(wrapped(0, 0, 0, 0, 255)), "0/00/00 00:256:0.3");
}

TEST(NicePosition, DocumentedHalves) {
    EXPECT_EQ(nicePosition(51.5074, -3.1791), "51[ 30' 26.64:,-3[ 10' 44.76:");
    EXPECT_EQ(nicePosition(51.99999, 12.3456789), "51[ 59' 59.96:,12[ 20' 44.44:");
    EXPECT_EQ(nicePosition(-12.3456789, 0.0), "-12[ 20' 44.44:,0[ 0' 0.00:");
}

TEST(NicePosition, RoundsHalvesAwayFromZero) {
    // These products come out as exact halves (0.5 and 2.5 hundredths of an
    // arc-second), where rounding half to even would go down.
    EXPECT_EQ(nicePosition(0.5 / 360000.0, 2.5 / 360000.0), "0[ 0' 0.01:,0[ 0' 0.03:");
    EXPECT_EQ(nicePosition(-2.5 / 360000.0, 0.0), "-0[ 0' 0.03:,0[ 0' 0.00:");
    EXPECT_EQ(nicePosition(59.99999999, 0.0), "60[ 0' 0.00:,0[ 0' 0.00:");
}

TEST(NicePosition, KeepsTheSignOfCoordinatesBetweenMinusOneAndZero) {
    EXPECT_EQ(nicePosition(-0.5, -0.0000001), "-0[ 30' 0.00:,-0[ 0' 0.00:");
    EXPECT_EQ(nicePosition(0.5, -0.0), "0[ 30' 0.00:,0[ 0' 0.00:");
    EXPECT_EQ(nicePosition(-0.99999999, -1.0), "-1[ 0' 0.00:,-1[ 0' 0.00:");
    TelemetryRecord r = example_record();
    r.latitude = -1234567;
    EXPECT_NE(line_for(r).find("'lbs':\"-0[ 7' 24.44:,"), std::string::npos) << line_for(r);
}

TEST(NicePosition, SurvivesValuesNoCoordinateHas) {
    EXPECT_EQ(nicePosition(std::nan(""), 1e300).substr(0, 13), "0[ 0' 0.00:,2");
    EXPECT_FALSE(nicePosition(-1e300, 1e-300).empty());
}

TEST(ScriptText, ClipNamesAreEscapedAsStringContent) {
    EXPECT_EQ(script_header("it's.MOV"), "data['it\\'s.MOV']=new Array();");
    EXPECT_EQ(script_header("a\"b\\c\n.MOV"), "data['a\\\"b\\\\c\\n.MOV']=new Array();");
    // Ordinary names come out unchanged, including spaces and non-ASCII letters.
    EXPECT_EQ(script_header("Fahrt über Land.MOV"), "data['Fahrt über Land.MOV']=new Array();");
}

}  // namespace
}  // namespace camvault
