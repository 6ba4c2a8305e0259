// Route files: UTC times held against the C library's calendar (timegm and
// gmtime_r), the camera's offset, points no reader would take, clock order and
// the CSV's units. What other tools read back is tested against gpsbabel and
// Python's readers in route_files_test.py.
#include "telemetry/route_export.hpp"

#include <gtest/gtest.h>

#include <ctime>
#include <random>

namespace camvault {
namespace {

int64_t libc_utc_ms(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return static_cast<int64_t>(timegm(&tm)) * 1000;
}

std::string libc_iso(int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

RoutePoint point_at(CameraTime time, double lat = 51.5, double lon = -0.12) {
    RoutePoint p;
    p.time = time;
    p.latitude = lat;
    p.longitude = lon;
    p.speed_kmh = 50;
    p.heading = 90;
    return p;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(RouteTimes, AgreeWithTheCLibraryCalendarWithAnyOffset) {
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        const int year = 1971 + static_cast<int>(rng() % 400);
        const int month = 1 + static_cast<int>(rng() % 12);
        const int day = 1 + static_cast<int>(rng() % 31);
        const int hour = static_cast<int>(rng() % 24), minute = static_cast<int>(rng() % 60);
        const int second = static_cast<int>(rng() % 60);
        const int offset = static_cast<int>(rng() % (26 * 60)) - 12 * 60;
        const CameraTime t{static_cast<uint32_t>(year),   static_cast<uint32_t>(month),
                           static_cast<uint32_t>(day),    static_cast<uint32_t>(hour),
                           static_cast<uint32_t>(minute), static_cast<double>(second)};
        const auto ms = utc_milliseconds(t, offset);
        // timegm normalises 31 April to 1 May: only real dates may have a time.
        std::tm check{};
        const std::time_t back =
            static_cast<std::time_t>(libc_utc_ms(year, month, day, hour, minute, second) / 1000);
        gmtime_r(&back, &check);
        if (check.tm_mday != day) {
            EXPECT_FALSE(ms) << year << "-" << month << "-" << day;
            continue;
        }
        ASSERT_TRUE(ms);
        const int64_t expected =
            libc_utc_ms(year, month, day, hour, minute, second) - int64_t{offset} * 60000;
        ASSERT_EQ(*ms, expected) << year << "-" << month << "-" << day << " offset " << offset;
        ASSERT_EQ(iso_utc(*ms), libc_iso(expected));
    }
}

TEST(RouteTimes, FractionsLeapDaysAndTimesThatAreNone) {
    const auto ms = [](CameraTime t, int offset = 0) { return utc_milliseconds(t, offset); };
    EXPECT_EQ(iso_utc(*ms({2024, 2, 29, 23, 59, 59.5})), "2024-02-29T23:59:59.5Z");
    EXPECT_EQ(iso_utc(*ms({2026, 6, 1, 9, 0, 5.05})), "2026-06-01T09:00:05.05Z");
    EXPECT_EQ(iso_utc(*ms({2026, 6, 1, 9, 0, 5.123})), "2026-06-01T09:00:05.123Z");
    // Two hours ahead of UTC: the camera's 01:00 on New Year's Day is the day before.
    EXPECT_EQ(iso_utc(*ms({2026, 1, 1, 1, 0, 0}, 120)), "2025-12-31T23:00:00Z");
    EXPECT_EQ(iso_utc(-100), "1969-12-31T23:59:59.9Z");
    for (const CameraTime none :
         {CameraTime{2023, 2, 29, 0, 0, 0}, CameraTime{0, 1, 1, 0, 0, 0},
          CameraTime{2026, 13, 1, 0, 0, 0}, CameraTime{2026, 0, 1, 0, 0, 0},
          CameraTime{2026, 1, 1, 24, 0, 0}, CameraTime{2026, 1, 1, 0, 60, 0},
          CameraTime{10000, 1, 1, 0, 0, 0}})
        EXPECT_FALSE(ms(none)) << none.year << "-" << none.month << "-" << none.day;
    EXPECT_FALSE(ms({1, 1, 1, 0, 0, 0}, 60)) << "before year 1 once in UTC";
}

TEST(RoutePoints, ARecordOfTheNextMinuteIsCarriedIntoTheCalendar) {
    TelemetryRecord record;
    record = {2026,      12,        31,       23, 59, 5,          1000,
              900000000, 515000000, -1200000, 0,  0,  1000000000, true};
    const RoutePoint p = route_point(record);
    EXPECT_EQ(iso_utc(*utc_milliseconds(p.time, 0)), "2027-01-01T00:00:00.5Z");
    EXPECT_DOUBLE_EQ(p.latitude, 51.5);
    EXPECT_DOUBLE_EQ(p.longitude, -0.12);
    EXPECT_DOUBLE_EQ(p.speed_kmh, 36);  // 10 m/s
    EXPECT_DOUBLE_EQ(p.heading, 90);
    EXPECT_DOUBLE_EQ(p.g_z, 1);
}

TEST(RouteFiles, EveryFormatLeavesOutTheSamePointsAndSortsClipsByClock) {
    ClipRoute late{"late.MOV",
                   {point_at({2026, 6, 1, 10, 0, 0}), point_at({2026, 6, 1, 10, 0, 1}),
                    point_at({2026, 6, 1, 10, 0, 2}, 91, 0),  // off the globe
                    point_at({0, 0, 0, 0, 0, 0})}};           // clock never set
    ClipRoute early{"early.MOV",
                    {point_at({2026, 6, 1, 9, 0, 0}), point_at({2026, 6, 1, 9, 0, 1})}};
    ClipRoute none{"none.MOV", {point_at({0, 0, 0, 0, 0, 0})}};
    std::vector<ClipRoute> clips{none, late, early};
    sort_by_clock(clips, 0);
    ASSERT_EQ(clips[0].name, "early.MOV");
    EXPECT_EQ(clips[1].name, "late.MOV");
    EXPECT_EQ(clips[2].name, "none.MOV");
    EXPECT_EQ(exportable_points(clips, 0), 4u);

    const RouteOptions options;
    const std::string gpx = route_text(RouteFormat::gpx, clips, options);
    EXPECT_EQ(count(gpx, "<trkpt "), 4u);
    EXPECT_EQ(count(gpx, "<trkseg>"), 2u);
    EXPECT_LT(gpx.find("09:00:00Z"), gpx.find("10:00:00Z"));
    const std::string kml = route_text(RouteFormat::kml, clips, options);
    EXPECT_EQ(count(kml, "<when>"), 4u);
    EXPECT_EQ(count(kml, "<gx:coord>"), 4u);
    EXPECT_EQ(count(kml, "<gx:Track>"), 2u);
    EXPECT_EQ(count(route_text(RouteFormat::csv, clips, options), "\n"), 5u);
    const std::string geojson = route_text(RouteFormat::geojson, clips, options);
    EXPECT_EQ(count(geojson, "\"LineString\""), 2u);
    EXPECT_EQ(count(geojson, "Z\""), 4u);
}

TEST(RouteFiles, CsvSpeedInTheChosenUnitTimesWithTheOffsetAndNoNegativeZero) {
    RoutePoint p = point_at({2026, 6, 1, 9, 0, 0.5}, 51.5, -0.00000001);
    p.speed_kmh = 160.9344;
    const std::vector<ClipRoute> clips{{"A.MOV", {p}}};
    RouteOptions options;
    EXPECT_EQ(route_text(RouteFormat::csv, clips, options),
              "time_utc,latitude,longitude,speed_kmh,heading,g_x,g_y,g_z\n"
              "2026-06-01T09:00:00.5Z,51.5000000,0.0000000,160.93,90.00,,,\n");
    options.csv_speed = SpeedUnit::mph;
    options.utc_offset_minutes = -330;
    EXPECT_EQ(route_text(RouteFormat::csv, clips, options),
              "time_utc,latitude,longitude,speed_mph,heading,g_x,g_y,g_z\n"
              "2026-06-01T14:30:00.5Z,51.5000000,0.0000000,100.00,90.00,,,\n");
}

TEST(RouteFiles, UtcIsTheRecordedTimePlusTheCorrectionLessTheOffset) {
    const CameraTime recorded{2026, 12, 31, 23, 30, 0};
    // A camera set to UTC+2 whose clock is an hour slow.
    EXPECT_EQ(utc_milliseconds(recorded, 120, 3600), libc_utc_ms(2026, 12, 31, 22, 30, 0));
    // Into the next year: UTC-1, 30 minutes slow.
    EXPECT_EQ(utc_milliseconds(recorded, -60, 1800), libc_utc_ms(2027, 1, 1, 1, 0, 0));
    // A clock 366 days fast on a leap day.
    EXPECT_EQ(utc_milliseconds({2028, 2, 29, 12, 0, 0}, 0, -31622400),
              libc_utc_ms(2027, 2, 28, 12, 0, 0));
    // Beyond the years a file may name, the point is no longer exportable.
    const RoutePoint last = point_at({9999, 12, 31, 23, 0, 0});
    EXPECT_TRUE(is_exportable(last, 0, 3599));
    EXPECT_FALSE(is_exportable(last, 0, 3600));
}

TEST(RouteFiles, EveryFormatWritesTheCorrectedTimes) {
    const std::vector<ClipRoute> clips{{"A.MOV", {point_at({2026, 6, 1, 9, 0, 5.5})}}};
    RouteOptions options;
    options.utc_offset_minutes = 60;
    options.clock_correction_s = -125;
    // 09:00:05.5 on a clock 125 s fast in UTC+1.
    const std::string utc = libc_iso(libc_utc_ms(2026, 6, 1, 7, 58, 0)).substr(0, 19) + ".5Z";
    ASSERT_EQ(utc, "2026-06-01T07:58:00.5Z");
    for (auto format :
         {RouteFormat::gpx, RouteFormat::kml, RouteFormat::csv, RouteFormat::geojson}) {
        const std::string text = route_text(format, clips, options);
        EXPECT_NE(text.find(utc), std::string::npos) << route_format_extension(format);
        EXPECT_EQ(text.find("09:00:05"), std::string::npos) << route_format_extension(format);
    }
    // The same shift for every clip keeps their order.
    std::vector<ClipRoute> two{{"B.MOV", {point_at({2026, 6, 1, 10, 0, 0})}},
                               {"A.MOV", {point_at({2026, 6, 1, 9, 0, 0})}}};
    sort_by_clock(two, 60, -31622400);
    EXPECT_EQ(two.front().name, "A.MOV");
    EXPECT_EQ(exportable_points(two, 60, -31622400), 2u);
}

}  // namespace
}  // namespace camvault
