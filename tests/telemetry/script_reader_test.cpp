// Reading telemetry scripts back: scripts of the real writers (append_record_line,
// append_fix_line) for random records read back within the precision they were
// printed with, clock times held against std::chrono's calendar; pieces of any
// size read as the whole; unreadable lines are skipped, the others kept.
#include "telemetry/script_reader.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "base/js_escape.hpp"
#include "telemetry/civil_date.hpp"
#include "telemetry/fix_text.hpp"
#include "telemetry/script_text.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

using namespace std::chrono;

int64_t reference_ms(int y, unsigned m, unsigned d, int64_t ms_of_day) {
    const sys_days date{year{y} / month{m} / day{d}};
    return duration_cast<milliseconds>(date.time_since_epoch()).count() + ms_of_day;
}

unsigned last_day(int y, unsigned m) {
    return static_cast<unsigned>(year_month_day_last{year{y} / month{m} / last}.day());
}

// What the writer printed, in single precision as it computes these fields.
double as_written(int32_t value, float divisor) {
    return static_cast<double>(static_cast<float>(value) / divisor);
}

// Every field within half a unit of the last digit printed of what was meant.
void expect_as_printed(const TelemetryPoint& p, const TelemetryPoint& meant) {
    EXPECT_NEAR(p.speed_kmh, meant.speed_kmh, 0.5e-6 + 1e-9);
    EXPECT_NEAR(p.heading, meant.heading, 0.005 + 1e-9);
    EXPECT_NEAR(p.lat, meant.lat, 0.5e-7 + 1e-12);
    EXPECT_NEAR(p.lon, meant.lon, 0.5e-7 + 1e-12);
    for (const auto g : {&TelemetryPoint::gx, &TelemetryPoint::gy, &TelemetryPoint::gz})
        EXPECT_NEAR(p.*g, meant.*g, 0.005 + 1e-9);
}

TEST(ScriptReader, RandomRecordsOfTheBlockWriterReadBack) {
    std::mt19937 rng(20260601);
    const auto any = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    static const std::string kPieces[] = {"A",        ".MOV", "\"", "'", "\\",           "]",
                                          "[",        ";",    "=",  "{", "\xE2\x80\xA8", "\n",
                                          "\xC3\xA9", "\x01"};
    for (int round = 0; round < 40; ++round) {
        std::string name;
        for (int i = any(1, 8); i > 0; --i)
            name += kPieces[any(0, std::size(kPieces) - 1)];
        std::string script = script_header(name);
        std::vector<TelemetryRecord> records(50);
        for (TelemetryRecord& r : records) {
            r.year = static_cast<uint16_t>(any(1970, 2400));
            r.month = static_cast<uint8_t>(any(1, 12));
            r.day = static_cast<uint8_t>(any(1, last_day(r.year, r.month)));
            r.hour = static_cast<uint8_t>(any(0, 23));
            r.minute = static_cast<uint8_t>(any(0, 59));
            if (any(0, 9) == 0)  // carried into the next hour, day, month and year
                r.month = 12, r.day = 31, r.hour = 23, r.minute = 59;
            r.tenths_of_second = static_cast<uint16_t>(any(0, 599));
            r.next_minute = any(0, 1) == 1;
            r.speed = static_cast<uint16_t>(any(0, 65535));
            std::uniform_int_distribution<int32_t> word;  // every value a field can hold
            r.degrees = word(rng), r.latitude = word(rng), r.longitude = word(rng);
            r.x = word(rng), r.y = word(rng), r.z = word(rng);
            append_record_line(script, js_escape(name), r);
        }
        if (round % 2)
            script += "data_cut['" + js_escape(name) + "']=100000;";

        const ScriptContents read = read_telemetry_script(script);
        EXPECT_EQ(read.clip_name, name);
        EXPECT_EQ(read.cut, round % 2 == 1);
        EXPECT_EQ(read.skipped_lines, 0u);
        ASSERT_EQ(read.points.size(), records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            const TelemetryRecord& r = records[i];
            const TelemetryPoint& p = read.points[i];
            SCOPED_TRACE(record_key(r));
            const int64_t minutes = r.hour * 60 + r.minute + (r.next_minute ? 1 : 0);
            EXPECT_EQ(p.time_ms, reference_ms(r.year, r.month, r.day,
                                              minutes * 60000 + r.tenths_of_second * 100));
            expect_as_printed(
                p, {0, as_written(r.latitude, 1e7f), as_written(r.longitude, 1e7f), r.speed * 0.036,
                    as_written(r.degrees, 1e7f), as_written(r.x, 1e9f), as_written(r.y, 1e9f),
                    as_written(r.z, 1e9f)});
        }
    }
}

TEST(ScriptReader, RandomFixesOfTheFixWriterReadBack) {
    std::mt19937 rng(7);
    const auto u = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    const auto any = [&](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
    };
    std::string script = script_header("F.MOV");
    std::vector<TelemetryFix> fixes(2000);
    for (size_t k = 0; k < fixes.size(); ++k) {
        // Seconds below 59.95, printed as 59.9 at most.
        fixes[k] = TelemetryFix{any(1980, 2099), any(1, 12), any(1, 28),   any(0, 23), any(0, 59),
                                u(0, 59.94),     u(-90, 90), u(-180, 180), u(0, 250),  u(0, 360),
                                k % 3 != 0,      u(-4, 4),   u(-4, 4),     u(-4, 4)};
        append_fix_line(script, "F.MOV", fixes[k]);
    }
    const ScriptContents read = read_telemetry_script(script);
    EXPECT_EQ(read.skipped_lines, 0u);
    ASSERT_EQ(read.points.size(), fixes.size());
    for (size_t i = 0; i < fixes.size(); ++i) {
        const TelemetryFix& f = fixes[i];
        const TelemetryPoint& p = read.points[i];
        SCOPED_TRACE(fix_key(f));
        const int64_t minute = reference_ms(static_cast<int>(f.year), f.month, f.day,
                                            (f.hour * 60 + f.minute) * 60000);
        EXPECT_NEAR(static_cast<double>(p.time_ms - minute), f.second * 1000, 50 + 1e-6);
        EXPECT_EQ(p.time_ms % 100, 0);
        const double a = f.has_accel ? 1 : 0;
        expect_as_printed(
            p, {0, f.latitude, f.longitude, f.speed_kmh, f.track, a * f.x, a * f.y, a * f.z});
    }
}

// A line of clip "c.MOV" with every occurrence of `from` replaced (the key
// stands in both statements of a line).
std::string line_with(const std::string& from = "", const std::string& to = "") {
    std::string line;
    append_fix_line(line, "c.MOV",
                    TelemetryFix{2026, 6, 1, 9, 0, 5, 51.5, -0.12, 40, 90, false, 0, 0, 0});
    for (size_t at = line.find(from); !from.empty() && at != std::string::npos;
         at = line.find(from, at + to.size()))
        line.replace(at, from.size(), to);
    return line;
}

TEST(ScriptReader, UnreadableLinesAreSkippedAndPiecesReadAsTheWhole) {
    const std::string good = line_with();
    const std::vector<std::string> bad = {
        good.substr(0, good.size() / 2) + "\n",
        line_with("'lat':\"51.5000000\",", ""),
        line_with("\"51.5000000\"", "\"nan\""),
        line_with("\"40.000000\"", "\"40 km/h\""),
        line_with("2026/06/01", "2026/13/01"),
        line_with("2026/06/01", "2100/02/29"),  // 2100 is no leap year
        line_with("09:00:5.0", "24:00:5.0"),
        line_with("09:00:5.0", "09:00:61.0"),
        line_with("c.MOV\"][", "d.MOV\"]["),  // another clip's record
        line_with("=new Array();data", ";data"),
        line_with("={", "={{"),
        "alert('hello');\n",
        // A record, but longer than any line the writer makes: never held whole.
        good.substr(0, good.size() - 1) + std::string(kMaxScriptLineLength, ' ') + "\n",
    };
    std::string script = script_header("c.MOV") + good;
    for (const std::string& line : bad)
        script += line + good;
    script +=
        "\r\ndata[\"c.MOV\"][\"2016/12/31 23:59:60.5\"] = {speed:1,degrees:2,lat:3,lon:+4,"
        "x:5,y:6,z:7,'other':\"?\"};\r\ndata_cut['c.MOV']=100000;";
    const ScriptContents whole = read_telemetry_script(script);
    EXPECT_EQ(whole.skipped_lines, bad.size());
    EXPECT_TRUE(whole.cut);
    ASSERT_EQ(whole.points.size(), bad.size() + 2);
    for (size_t i = 0; i + 1 < whole.points.size(); ++i)
        EXPECT_EQ(whole.points[i], whole.points.front());
    EXPECT_EQ(whole.points.back(),
              (TelemetryPoint{reference_ms(2017, 1, 1, 500), 3, 4, 1, 2, 5, 6, 7}));

    std::mt19937 rng(3);
    for (const size_t max_piece : {1, 7, 300, 100000}) {
        ScriptReader reader;
        for (size_t at = 0, n = 0; at < script.size(); at += n) {
            n = std::uniform_int_distribution<size_t>(1, max_piece)(rng);
            reader.feed(std::string_view(script).substr(at, n));
        }
        reader.finish();
        EXPECT_EQ(reader.contents().points, whole.points) << max_piece;
        EXPECT_EQ(reader.contents().skipped_lines, whole.skipped_lines);
        EXPECT_TRUE(reader.contents().cut);
    }
}

TEST(ScriptReader, RecordKeysAndTheCalendar) {
    EXPECT_EQ(parse_record_key("1969/12/31 23:59:59.9"), -100);
    EXPECT_EQ(parse_record_key("2026/06/01 09:00:0.3"), reference_ms(2026, 6, 1, 32400300));
    EXPECT_EQ(parse_record_key("2026/6/1 9:0:05.0005"), reference_ms(2026, 6, 1, 32405001));
    EXPECT_EQ(parse_record_key("2026/06/01 09:00:59.9996"), reference_ms(2026, 6, 1, 32460000));
    for (const char* bad : {"", "2026/06/01 09:00:", "2026/06/01 09:00:5.", "2026-06-01 09:00:5",
                            "2026/04/31 09:00:0", "2026/06/01 09:60:0", "12026/06/01 09:00:0",
                            "2026/06/001 09:00:0", "2026/06/01 09:00:5.0x"})
        EXPECT_EQ(parse_record_key(bad), std::nullopt) << bad;
    for (int y = 0; y <= 9999; ++y) {
        for (unsigned m = 1; m <= 12; ++m) {
            for (unsigned d = 1; d <= last_day(y, m); ++d)
                ASSERT_EQ(days_from_civil(y, m, d) * 86400000, reference_ms(y, m, d, 0))
                    << y << "-" << m << "-" << d;
        }
    }
}

TEST(ScriptReader, Files) {
    testing::TempFolder folder;
    std::string script = script_header("c.MOV");
    for (int i = 0; i < 1000; ++i)
        script += line_with();  // several pieces of 64 KB
    testing::write_text(folder / "c.data", script);
    const Result<ScriptContents> read = read_telemetry_script_file(folder / "c.data");
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->points.size(), 1000u);
    const auto missing = read_telemetry_script_file(folder / "none.data");
    EXPECT_NE(missing.error().find(folder / "none.data"), std::string::npos);
    EXPECT_FALSE(read_telemetry_script_file(folder.path()));
}

}  // namespace
}  // namespace camvault
