// What the library knows of a clip without opening it again: its time span,
// distance, speeds, the box its route lies in, and its driving events (harsh
// braking, harsh acceleration, sharp cornering, impacts). Computed once from
// the points of the clip's telemetry script; the index keeps the result.
// Pure functions over points: no files, no clock, no locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "telemetry/script_reader.hpp"

namespace camvault {

// Mean Earth radius in metres, the same the page's distances use.
inline constexpr double kEarthRadiusM = 6371008.8;

// Faster than any car on the road: a step between two records that would need
// more is a receiver glitch, not driving, and neither counts as distance nor
// as speed. In km/h.
inline constexpr double kMaxPlausibleSpeedKmh = 300.0;

// Great-circle distance in metres between two positions in degrees (haversine).
double haversine_m(double lat1, double lon1, double lat2, double lon2);

// The record has a position: finite, on the globe, and not 0,0 (cameras write
// 0,0 until the receiver has a fix). The page uses the same rule.
bool has_fix(const TelemetryPoint& point);

enum class EventKind : uint8_t {
    harsh_braking,       // y at or below -braking_g, or a speed drop without G-sensor
    harsh_acceleration,  // y at or above +acceleration_g
    sharp_cornering,     // |x| at or above cornering_g
    impact,              // a G-force spike in a single record
    harsh_event,         // axes unknown: sustained horizontal force of any direction
};
inline constexpr size_t kEventKindCount = 5;

// "harsh_braking", "harsh_acceleration", "sharp_cornering", "impact", "harsh_event".
std::string_view event_kind_name(EventKind kind);
std::optional<EventKind> event_kind_from_name(std::string_view name);

// What an event was found from.
enum class EventBasis : uint8_t {
    gsensor_axes,       // the G-sensor's x and y with known directions
    gsensor_magnitude,  // the size of the G vector only (axes unknown, or an impact)
    speed,              // the GPS speed (no G-sensor, or a flat one)
};
// "axes", "magnitude", "speed".
std::string_view event_basis_name(EventBasis basis);

// When a stretch of driving is an event. Forces in g (9.80665 m/s²), times in
// milliseconds, speeds in km/h. The defaults follow what fleet telematics
// commonly flag (harsh braking from about 0.4 g; ordinary firm braking stays
// near 0.3 g, a full emergency stop reaches 0.8 to 1 g); README.md, "Events",
// lists them.
struct EventThresholds {
    double braking_g = 0.40;       // y <= -0.40 g, held for min_duration_ms
    double acceleration_g = 0.35;  // y >= +0.35 g (few cars exceed 0.4 g)
    double cornering_g = 0.45;     // |x| >= 0.45 g (a brisk roundabout is 0.3 g)
    double harsh_g = 0.45;         // axes unknown: horizontal magnitude >= 0.45 g
    // A stretch begins at the threshold and lasts while the force stays above
    // this fraction of it, so road noise on a real brake does not cut it into
    // pieces too short to count.
    double release_fraction = 0.75;
    int64_t min_duration_ms = 300;  // 0.3 s: three records at ten a second
    // |(x, y, z - 1)| >= 2.5 g in any single record; with axes unknown the
    // gravity vector is the clip's mean G vector instead of (0, 0, 1).
    double impact_g = 2.5;
    // Events of one kind closer than this (end to start) are one event.
    int64_t merge_gap_ms = 3000;
    // Without a usable G-sensor: a speed drop of more than 25 km/h within 2 s
    // is harsh braking (25 km/h in 2 s is about 0.35 g on average).
    double speed_drop_kmh = 25.0;
    int64_t speed_drop_window_ms = 2000;
    // A G-sensor whose every axis stays within 0.05 g of its mean for the
    // whole clip is flat (stuck or disconnected): braking falls back on speed.
    double flat_g = 0.05;

    bool operator==(const EventThresholds&) const = default;
};

struct ClipEvent {
    EventKind kind = EventKind::harsh_braking;
    EventBasis basis = EventBasis::gsensor_axes;
    // Clock times as recorded (see TelemetryPoint::time_ms): where the force
    // first reached the threshold, where it peaked, where it last did.
    int64_t start_ms = 0;
    int64_t peak_ms = 0;
    int64_t end_ms = 0;
    // In g. Signed along its axis for braking (negative), acceleration
    // (positive) and cornering (x: positive to the right); a magnitude for
    // impacts and harsh events; for braking found from speed, the mean
    // deceleration over the steepest drop (negative).
    double peak_g = 0;
    // Speed at the event's last record minus speed at its first, km/h.
    double speed_change_kmh = 0;
    // Where it peaked (the nearest record with a fix).
    bool has_position = false;
    double lat = 0;
    double lon = 0;

    bool operator==(const ClipEvent&) const = default;
};

struct GeoBox {
    double min_lat = 0, min_lon = 0, max_lat = 0, max_lon = 0;  // degrees
    bool operator==(const GeoBox&) const = default;
};

struct ClipSummary {
    size_t records = 0;  // every record read; 0: the clip has no telemetry
    // Clock times of the first and last record in file order, as recorded
    // (ms since 1970); duration_ms is their difference, never negative.
    int64_t first_ms = 0;
    int64_t last_ms = 0;
    int64_t duration_ms = 0;
    size_t fixes = 0;       // records with a position (has_fix)
    double distance_m = 0;  // along the route, glitches left out; metres
    double max_speed_kmh = 0;
    double mean_speed_kmh = 0;  // mean of the recorded speed over the records with a fix
    // The route: bounding box, first and last position. Only when has_position.
    bool has_position = false;
    GeoBox bounds;
    double start_lat = 0, start_lon = 0;
    double end_lat = 0, end_lon = 0;
    bool has_gsensor = false;   // not every x, y and z is exactly 0
    bool gsensor_flat = false;  // has one, but it never moved (EventThresholds::flat_g)
    // Whether the G-sensor's directions are known (x right, y forward, z up).
    // Without them only the size of the G vector was used for events.
    bool axes_known = true;
    std::vector<ClipEvent> events;  // by start time

    bool operator==(const ClipSummary&) const = default;
};

// The clip's events, by start time. Pure: the same points give the same events.
// With `axes_known` false only the magnitude of the G vector is used (impacts
// and harsh events); a missing or flat G-sensor leaves braking to the speed.
std::vector<ClipEvent> detect_events(std::span<const TelemetryPoint> points,
                                     const EventThresholds& thresholds, bool axes_known);

ClipSummary summarize(std::span<const TelemetryPoint> points, const EventThresholds& thresholds,
                      bool axes_known);

}  // namespace camvault
