// Reading telemetry scripts back: scripts written by the real writer
// (append_record_line, append_fix_line) for random records read back field by
// field within the precision they were printed with; clock times held against
// the standard library's calendar; pieces of any size; lines that cannot be
// read are skipped without losing the others.
#include "telemetry/script_reader.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <string>

#include "base/js_escape.hpp"
#include "telemetry/fix_text.hpp"
#include "telemetry/script_text.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

using namespace std::chrono;

// The reference calendar: std::chrono's, not ours.
int64_t reference_ms(int year, unsigned month, unsigned day, int64_t ms_of_day) {
    const sys_days date{std::chrono::year{year} / std::chrono::month{month} /
                        std::chrono::day{day}};
    return duration_cast<milliseconds>(date.time_since_epoch()).count() + ms_of_day;
}

std::string tricky_name(std::mt19937& rng) {
    static const std::string kPieces[] = {
        "A", ".MOV",         "\"", "'", "\\",       "]",  "[",    ";", "=",
        "{", "\xE2\x80\xA8", "\n", " ", "\xC3\xA9", "\t", "\x01", "}"};
    std::string name;
    const int pieces = std::uniform_int_distribution<int>(1, 8)(rng);
    for (int i = 0; i < pieces; ++i)
        name += kPieces[std::uniform_int_distribution<size_t>(0, std::size(kPieces) - 1)(rng)];
    return name;
}

// The value the writer meant for a field it computes in single precision.
double as_written(int32_t value, float divisor) {
    return static_cast<double>(static_cast<float>(value) / divisor);
}

TEST(ScriptReader, RandomRecordsFromTheBlockWriterReadBack) {
    std::mt19937 rng(20260601);
    for (int round = 0; round < 40; ++round) {
        const std::string name = tricky_name(rng);
        const std::string escaped = js_escape(name);
        std::string script = script_header(name);
        std::vector<TelemetryRecord> records;
        for (int k = 0; k < 50; ++k) {
            TelemetryRecord r;
            r.year = static_cast<uint16_t>(std::uniform_int_distribution<int>(1970, 2400)(rng));
            r.month = static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 12)(rng));
            const unsigned last_day =
                static_cast<unsigned>((year_month_day_last{std::chrono::year{r.year} /
                                                           std::chrono::month{r.month} / last})
                                          .day());
            r.day = static_cast<uint8_t>(std::uniform_int_distribution<unsigned>(1, last_day)(rng));
            r.hour = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 23)(rng));
            r.minute = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 59)(rng));
            if (k % 10 == 0) {  // the carries at the end of an hour, day, month and year
                r.month = 12;
                r.day = 31;
                r.hour = 23;
                r.minute = 59;
            }
            r.tenths_of_second =
                static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 599)(rng));
            r.next_minute = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
            r.speed = static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 65535)(rng));
            std::uniform_int_distribution<int32_t> any_word;  // every value a field can hold
            r.degrees = any_word(rng);
            r.latitude = any_word(rng);
            r.longitude = any_word(rng);
            r.x = any_word(rng);
            r.y = any_word(rng);
            r.z = any_word(rng);
            append_record_line(script, escaped, r);
            records.push_back(r);
        }
        const bool cut = round % 2 == 1;
        if (cut)
            script += "data_cut['" + escaped + "']=100000;";

        const ScriptContents read = read_telemetry_script(script);
        EXPECT_EQ(read.clip_name, name);
        EXPECT_EQ(read.cut, cut);
        EXPECT_EQ(read.skipped_lines, 0u);
        ASSERT_EQ(read.points.size(), records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            const TelemetryRecord& r = records[i];
            const TelemetryPoint& p = read.points[i];
            SCOPED_TRACE(record_key(r));
            const int64_t ms_of_day =
                (int64_t{r.hour} * 60 + r.minute + (r.next_minute ? 1 : 0)) * 60000 +
                int64_t{r.tenths_of_second} * 100;
            EXPECT_EQ(p.time_ms, reference_ms(r.year, r.month, r.day, ms_of_day));
            EXPECT_NEAR(p.speed_kmh, r.speed * 0.036, 0.5e-6 + 1e-9);
            EXPECT_NEAR(p.heading, as_written(r.degrees, 1e7f), 0.005 + 1e-9);
            EXPECT_NEAR(p.lat, as_written(r.latitude, 1e7f), 0.5e-7 + 1e-12);
            EXPECT_NEAR(p.lon, as_written(r.longitude, 1e7f), 0.5e-7 + 1e-12);
            EXPECT_NEAR(p.gx, as_written(r.x, 1e9f), 0.005 + 1e-9);
            EXPECT_NEAR(p.gy, as_written(r.y, 1e9f), 0.005 + 1e-9);
            EXPECT_NEAR(p.gz, as_written(r.z, 1e9f), 0.005 + 1e-9);
        }
    }
}

TEST(ScriptReader, RandomFixesFromTheFixWriterReadBack) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0, 1);
    const std::string name = "FILE0001.MOV";
    std::string script = script_header(name);
    std::vector<TelemetryFix> fixes;
    for (int k = 0; k < 2000; ++k) {
        TelemetryFix f;
        f.year = std::uniform_int_distribution<uint32_t>(1980, 2099)(rng);
        f.month = std::uniform_int_distribution<uint32_t>(1, 12)(rng);
        f.day = std::uniform_int_distribution<uint32_t>(1, 28)(rng);
        f.hour = std::uniform_int_distribution<uint32_t>(0, 23)(rng);
        f.minute = std::uniform_int_distribution<uint32_t>(0, 59)(rng);
        f.second = unit(rng) * 59.94;  // below 59.95: printed as 59.9 at most
        f.latitude = unit(rng) * 180 - 90;
        f.longitude = unit(rng) * 360 - 180;
        f.speed_kmh = unit(rng) * 250;
        f.track = unit(rng) * 360;
        f.has_accel = k % 3 != 0;
        f.x = unit(rng) * 8 - 4;
        f.y = unit(rng) * 8 - 4;
        f.z = unit(rng) * 8 - 4;
        append_fix_line(script, name, f);
        fixes.push_back(f);
    }
    const ScriptContents read = read_telemetry_script(script);
    EXPECT_EQ(read.skipped_lines, 0u);
    EXPECT_FALSE(read.cut);
    ASSERT_EQ(read.points.size(), fixes.size());
    for (size_t i = 0; i < fixes.size(); ++i) {
        const TelemetryFix& f = fixes[i];
        const TelemetryPoint& p = read.points[i];
        SCOPED_TRACE(fix_key(f));
        const int64_t minute_start = reference_ms(static_cast<int>(f.year), f.month, f.day,
                                                  (int64_t{f.hour} * 60 + f.minute) * 60000);
        // The second is printed to a tenth: within 50 ms of the fix's own.
        EXPECT_NEAR(static_cast<double>(p.time_ms - minute_start), f.second * 1000, 50.0 + 1e-6);
        EXPECT_EQ(p.time_ms % 100, 0);
        EXPECT_NEAR(p.speed_kmh, f.speed_kmh, 0.5e-6 + 1e-9);
        EXPECT_NEAR(p.heading, f.track, 0.005 + 1e-9);
        EXPECT_NEAR(p.lat, f.latitude, 0.5e-7 + 1e-12);
        EXPECT_NEAR(p.lon, f.longitude, 0.5e-7 + 1e-12);
        EXPECT_NEAR(p.gx, f.has_accel ? f.x : 0.0, 0.005 + 1e-9);
        EXPECT_NEAR(p.gy, f.has_accel ? f.y : 0.0, 0.005 + 1e-9);
        EXPECT_NEAR(p.gz, f.has_accel ? f.z : 0.0, 0.005 + 1e-9);
    }
}

std::string sample_script(int records) {
    std::string script = script_header("clip2.MOV");
    for (int k = 0; k < records; ++k) {
        const TelemetryFix f{2026,
                             6,
                             1,
                             9,
                             static_cast<uint32_t>(k / 600),
                             (k % 600) * 0.1,
                             51.5 + k * 1e-5,
                             -0.12,
                             40,
                             90,
                             true,
                             0.01,
                             0.2,
                             1.0};
        append_fix_line(script, "clip2.MOV", f);
    }
    return script + "data_cut['clip2.MOV']=100000;";
}

TEST(ScriptReader, PiecesOfAnySizeGiveTheSameAsTheWhole) {
    const std::string script = sample_script(300);
    const ScriptContents whole = read_telemetry_script(script);
    ASSERT_EQ(whole.points.size(), 300u);
    EXPECT_TRUE(whole.cut);
    std::mt19937 rng(3);
    for (const size_t max_piece : {size_t{1}, size_t{2}, size_t{7}, size_t{300}, size_t{5000}}) {
        ScriptReader reader;
        size_t at = 0;
        while (at < script.size()) {
            const size_t n = std::uniform_int_distribution<size_t>(1, max_piece)(rng);
            reader.feed(std::string_view(script).substr(at, n));
            at += n;
        }
        reader.finish();
        const ScriptContents pieces = reader.take();
        EXPECT_EQ(pieces.points, whole.points) << max_piece;
        EXPECT_EQ(pieces.cut, whole.cut);
        EXPECT_EQ(pieces.clip_name, whole.clip_name);
        EXPECT_EQ(pieces.skipped_lines, 0u);
    }
}

// A line written for the sample clip, with every occurrence of one part
// replaced (the key stands in both statements of a line).
std::string line_with(const std::string& from, const std::string& to) {
    std::string line;
    append_fix_line(line, "clip2.MOV",
                    TelemetryFix{2026, 6, 1, 9, 0, 5, 51.5, -0.12, 40, 90, true, 0.01, 0.2, 1.0});
    if (from.empty())
        return line;
    EXPECT_NE(line.find(from), std::string::npos) << from;
    for (size_t at = line.find(from); at != std::string::npos; at = line.find(from, at + to.size()))
        line.replace(at, from.size(), to);
    return line;
}

TEST(ScriptReader, UnreadableLinesAreSkippedAndTheRestKept) {
    const std::string good = line_with("", "");
    const std::vector<std::string> bad = {
        good.substr(0, good.size() / 2) + "\n",              // cut off
        line_with("'lat':\"51.5000000\",", ""),              // a field missing
        line_with("\"51.5000000\"", "\"nan\""),              // not finite
        line_with("\"40.000000\"", "\"40 km/h\""),           // not a number
        line_with("2026/06/01", "2026/13/01"),               // no such month
        line_with("2026/06/01", "2100/02/29"),               // 2100 is no leap year
        line_with("09:00:5.0", "24:00:5.0"),                 // no such hour
        line_with("09:00:5.0", "09:00:61.0"),                // no such second
        line_with("clip2.MOV\"][", "other.MOV\"]["),         // another clip's record
        line_with("=new Array();data", ";data"),             // a statement cut short
        line_with("={", "={{"),                              // broken object
        "alert('hello');\n",                                 // a foreign statement
        std::string(kMaxScriptLineLength + 10, 'x') + "\n",  // longer than any line
    };
    std::string script = script_header("clip2.MOV") + good;
    for (const std::string& line : bad)
        script += line + good;
    const ScriptContents read = read_telemetry_script(script);
    EXPECT_EQ(read.points.size(), bad.size() + 1);
    EXPECT_EQ(read.skipped_lines, bad.size());
    for (const TelemetryPoint& p : read.points)
        EXPECT_EQ(p, read.points.front());
}

TEST(ScriptReader, ToleratedForms) {
    // Windows line ends, blank lines, blanks between tokens, fields in
    // another order, unknown fields, '+' signs, a leap second.
    const std::string script =
        "data['c.MOV']=new Array();\r\n"
        "\r\n"
        "data[\"c.MOV\"][\"2026/06/01 09:00:0.0\"] = {'lat':\"1.5\", 'lon':\"+2.5\",'speed':\"3\","
        "'degrees':\"4\",'x':\"5\",'y':\"6\",'z':\"7\",'extra':\"?\"};\r\n"
        "data[\"c.MOV\"][\"2016/12/31 23:59:60.5\"]={speed:1,degrees:2,lat:3,lon:4,x:5,y:6,z:7};";
    const ScriptContents read = read_telemetry_script(script);
    EXPECT_EQ(read.skipped_lines, 0u);
    ASSERT_EQ(read.points.size(), 2u);
    const TelemetryPoint& p = read.points[0];
    EXPECT_EQ(p.time_ms, reference_ms(2026, 6, 1, 9 * 3600000));
    EXPECT_EQ(p.lat, 1.5);
    EXPECT_EQ(p.lon, 2.5);
    EXPECT_EQ(p.speed_kmh, 3);
    EXPECT_EQ(p.heading, 4);
    EXPECT_EQ(p.gx, 5);
    EXPECT_EQ(p.gy, 6);
    EXPECT_EQ(p.gz, 7);
    EXPECT_EQ(read.points[1].time_ms, reference_ms(2017, 1, 1, 500));
}

TEST(ScriptReader, RecordKeys) {
    EXPECT_EQ(parse_record_key("1970/01/01 00:00:0.0"), 0);
    EXPECT_EQ(parse_record_key("1969/12/31 23:59:59.9"), -100);
    EXPECT_EQ(parse_record_key("2000/02/29 12:00:0.0"), 951825600000);
    EXPECT_EQ(parse_record_key("2026/06/01 09:00:0.3"), 1780304400300);
    EXPECT_EQ(parse_record_key("2026/06/01 09:00:00.25"), 1780304400250);
    EXPECT_EQ(parse_record_key("2026/06/01 09:00:0.0004"), 1780304400000);
    EXPECT_EQ(parse_record_key("2026/06/01 09:00:0.0005"), 1780304400001);
    EXPECT_EQ(parse_record_key("2026/06/01 09:00:59.9996"), 1780304460000);
    EXPECT_EQ(parse_record_key("2026/6/1 9:0:5"), 1780304405000);
    for (const char* bad :
         {"", "2026/06/01", "2026/06/01 09:00:", "2026/06/01 09:00:5.", "2026/06/01 09:00:5.0x",
          "2026-06-01 09:00:5.0", "2026/00/01 09:00:0.0", "2026/04/31 09:00:0.0",
          "2026/06/01 09:60:0.0", "2026/06/01 09:00:61.0", "12026/06/01 09:00:0.0",
          "2026/06/01 09:00:-1.0", "2026/06/001 09:00:0"})
        EXPECT_EQ(parse_record_key(bad), std::nullopt) << bad;
}

TEST(ScriptReader, CalendarAgreesWithTheStandardLibraryOnEveryDay) {
    for (int year = 0; year <= 9999; ++year) {
        for (unsigned month = 1; month <= 12; ++month) {
            const unsigned last_day = static_cast<unsigned>(
                (year_month_day_last{std::chrono::year{year} / std::chrono::month{month} / last})
                    .day());
            for (unsigned day = 1; day <= last_day; ++day) {
                const sys_days date{std::chrono::year{year} / std::chrono::month{month} /
                                    std::chrono::day{day}};
                ASSERT_EQ(days_from_civil(year, month, day), date.time_since_epoch().count())
                    << year << "-" << month << "-" << day;
            }
        }
    }
}

TEST(ScriptReader, FilesAreReadInPieces) {
    testing::TempFolder folder;
    std::string script = sample_script(5000);  // several 64 KB pieces
    testing::write_text(folder / "clip2.data", script);
    const Result<ScriptContents> read = read_telemetry_script_file(folder / "clip2.data");
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->points, read_telemetry_script(script).points);
    EXPECT_EQ(read->points.size(), 5000u);

    const Result<ScriptContents> missing = read_telemetry_script_file(folder / "none.data");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find(folder / "none.data"), std::string::npos) << missing.error();
    EXPECT_FALSE(read_telemetry_script_file(folder.path()));  // a folder is no script
}

}  // namespace
}  // namespace camvault
