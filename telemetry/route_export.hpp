// Route files that other GPS tools read, written from the telemetry of one or
// more clips: GPX 1.1, KML (one gx:Track per clip), CSV and GeoJSON. Pure text:
// reading the clips and writing the files happen elsewhere.
//
// The telemetry's times are the camera's clock as recorded. Every format here
// writes UTC: that clock plus the clock correction (a camera clock that runs
// wrong) less the camera's offset from UTC (the "camera time zone"), both
// page settings in settings.json.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "telemetry/fix.hpp"
#include "telemetry/scanner.hpp"

namespace camvault {

// A time on the camera's clock, as recorded (not checked).
struct CameraTime {
    uint32_t year = 0;
    uint32_t month = 0;
    uint32_t day = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;
    double second = 0;  // with its fraction
};

struct RoutePoint {
    CameraTime time;
    double latitude = 0;   // degrees, south negative
    double longitude = 0;  // degrees, west negative
    double speed_kmh = 0;
    double heading = 0;  // degrees clockwise from north
    bool has_accel = false;
    double g_x = 0, g_y = 0, g_z = 0;  // g: x right, y forward, z up
};

// One clip's points in file order.
struct ClipRoute {
    std::string name;  // the clip's file name, e.g. "FILE0001.MOV"
    std::vector<RoutePoint> points;
};

// The point of an original block's record (its second wrapped into the next
// minute where the block says so) and of a decoded fix.
RoutePoint route_point(const TelemetryRecord& record);
RoutePoint route_point(const TelemetryFix& fix);

// Milliseconds since 1970-01-01T00:00:00Z of a camera time on a clock that is
// `utc_offset_minutes` ahead of UTC and `clock_correction_s` behind the right
// time; nothing when the time is no real date and time of the years 1 to 9999
// (a camera without a fix writes such times), or the corrected one is none.
std::optional<int64_t> utc_milliseconds(const CameraTime& time, int utc_offset_minutes,
                                        int64_t clock_correction_s = 0);

// "2026-06-01T09:00:05.5Z": milliseconds since the epoch as ISO 8601 UTC, the
// fraction only where there is one, without trailing zeros.
std::string iso_utc(int64_t milliseconds);

// Only points with a real time and a position on the globe are exported; the
// others (no fix yet, a clock never set) would make files other tools reject.
bool is_exportable(const RoutePoint& point, int utc_offset_minutes, int64_t clock_correction_s = 0);

// The clips ordered by the clock: by the UTC time of their first exportable
// point; clips without any go last, in the order given.
void sort_by_clock(std::vector<ClipRoute>& clips, int utc_offset_minutes,
                   int64_t clock_correction_s = 0);

enum class RouteFormat { gpx, kml, csv, geojson };

// "gpx", "kml", "csv", "geojson"; nothing for any other name.
std::optional<RouteFormat> route_format_named(std::string_view name);
// The file name extension, without the dot.
std::string_view route_format_extension(RouteFormat format);

enum class SpeedUnit { kmh, mph };

struct RouteOptions {
    int utc_offset_minutes = 0;            // the camera clock's offset from UTC
    int64_t clock_correction_s = 0;        // added to every recorded time
    SpeedUnit csv_speed = SpeedUnit::kmh;  // CSV only: "speed_kmh" or "speed_mph"
    std::string title;                     // the document's name (GPX, KML)
    std::string creator = "CamVault";      // GPX's creator attribute
};

// The namespace of CamVault's GPX extensions (speed in m/s, course in degrees,
// G-sensor in g), under the application's id.
inline constexpr std::string_view kGpxExtensionNamespace = "https://camvault.github.io/xmlns/gpx/1";

// The whole file in `format` for the clips in the order given (one GPX track
// segment, one KML gx:Track placemark, one GeoJSON feature per clip that has an
// exportable point; CSV rows one after another). Skips what is_exportable refuses.
std::string route_text(RouteFormat format, std::span<const ClipRoute> clips,
                       const RouteOptions& options);

// How many points of the clips route_text writes.
size_t exportable_points(std::span<const ClipRoute> clips, int utc_offset_minutes,
                         int64_t clock_correction_s = 0);

}  // namespace camvault
