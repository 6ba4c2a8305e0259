// What the library knows of a clip: its summary and its driving events.
#include "library/clip_summary.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <numbers>

namespace camvault {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kStandardGravity = 9.80665;  // m/s² in one g

// Receivers wander by a few metres between fixes even standing still; a step
// within this much more than the plausible speed allows is still driving.
constexpr double kGpsJitterM = 25.0;
// A run of fixes that agree with each other but not with the route before
// them replaces it once it lasts this long (or this many records): the route
// before was the glitch, or the receiver found itself again after a tunnel.
// Shorter runs are the glitch. A glitch that repeats its one fix for a
// second, as ten records of one block can, stays shorter than both.
constexpr int64_t kReanchorMs = 2000;
constexpr size_t kReanchorRecords = 50;

// The usual spacing of the records in ms (the median of the positive steps),
// so that "held for 0.3 s" means three records at ten a second and one at one
// a second. Clamped to 10 ms .. 1 s; 100 ms when the clip tells nothing.
int64_t record_interval_ms(std::span<const TelemetryPoint> points) {
    std::vector<int64_t> steps;
    steps.reserve(points.size());
    for (size_t i = 1; i < points.size(); ++i) {
        const int64_t dt = points[i].time_ms - points[i - 1].time_ms;
        if (dt > 0)
            steps.push_back(dt);
    }
    if (steps.empty())
        return 100;
    const auto middle = steps.begin() + static_cast<ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return std::clamp<int64_t>(*middle, 10, 1000);
}

bool plausible_speed(double kmh) {
    return std::isfinite(kmh) && kmh >= 0 && kmh <= kMaxPlausibleSpeedKmh;
}

// Which fixes make up the route, and its length. A fix that would need more
// than kMaxPlausibleSpeedKmh from the last accepted one is held back; see
// kReanchorMs for when held-back fixes replace the route instead.
struct Route {
    std::vector<bool> on_route;
    double distance_m = 0;
};

Route trace_route(std::span<const TelemetryPoint> points, int64_t interval_ms) {
    Route route;
    route.on_route.assign(points.size(), false);
    const auto distance = [&](size_t a, size_t b) {
        return haversine_m(points[a].lat, points[a].lon, points[b].lat, points[b].lon);
    };
    // Time is counted from the first record at a position, so that a receiver
    // that gives one fix a second among ten records a second is not taken for
    // a jump of a whole second's travel in a tenth.
    const auto plausible = [&](size_t from, size_t to, double metres) {
        const int64_t dt = std::max(points[to].time_ms - points[from].time_ms, interval_ms);
        return metres <=
               kMaxPlausibleSpeedKmh / 3.6 * static_cast<double>(dt) / 1000.0 + kGpsJitterM;
    };

    bool have_ref = false;
    size_t ref = 0;
    // The route so far is one fix (and its repeats) that nothing confirmed yet.
    bool ref_alone = false;
    std::vector<size_t> lone;     // that fix and its repeats
    std::vector<size_t> pending;  // fixes that agree with each other, not with ref
    double pending_m = 0;

    for (size_t i = 0; i < points.size(); ++i) {
        if (!has_fix(points[i]))
            continue;
        if (!have_ref) {
            have_ref = true;
            ref = i;
            ref_alone = true;
            lone = {i};
            route.on_route[i] = true;
            continue;
        }
        if (points[i].lat == points[ref].lat && points[i].lon == points[ref].lon) {
            route.on_route[i] = true;
            if (ref_alone)
                lone.push_back(i);
            continue;
        }
        const double from_ref = distance(ref, i);
        if (plausible(ref, i, from_ref)) {
            route.distance_m += from_ref;
            route.on_route[i] = true;
            ref = i;
            ref_alone = false;
            pending.clear();
            pending_m = 0;
            continue;
        }
        if (!pending.empty()) {
            const double from_pending = distance(pending.back(), i);
            if (plausible(pending.back(), i, from_pending)) {
                pending.push_back(i);
                pending_m += from_pending;
            } else {
                pending = {i};
                pending_m = 0;
            }
        } else {
            pending = {i};
        }
        const bool lasting = points[i].time_ms - points[pending.front()].time_ms >= kReanchorMs ||
                             pending.size() >= kReanchorRecords;
        if (pending.size() > 1 && lasting) {
            if (ref_alone) {
                for (const size_t j : lone)
                    route.on_route[j] = false;
            }
            for (const size_t j : pending)
                route.on_route[j] = true;
            route.distance_m += pending_m;
            ref = i;
            ref_alone = false;
            pending.clear();
            pending_m = 0;
        }
    }
    return route;
}

// The record with a fix nearest to `index` in file order, preferring route
// fixes; points.size() when there is none.
size_t nearest_fix(std::span<const TelemetryPoint> points, const std::vector<bool>& on_route,
                   size_t index) {
    for (const bool route_only : {true, false}) {
        const auto usable = [&](size_t i) {
            return route_only ? static_cast<bool>(on_route[i]) : has_fix(points[i]);
        };
        for (size_t k = 0; k < points.size(); ++k) {
            if (index >= k && usable(index - k))
                return index - k;
            if (index + k < points.size() && usable(index + k))
                return index + k;
            if (index < k && index + k >= points.size())
                break;
        }
    }
    return points.size();
}

// An event while it is being found: record indices, so that merging can
// recompute the speed change from the records.
struct Found {
    EventKind kind;
    EventBasis basis;
    size_t first, last, peak;
    double peak_g;
};

// Stretches where signal(i) reaches `threshold` and holds for min_duration_ms
// (see EventThresholds::release_fraction). The peak is the largest signal.
template <typename Signal, typename OnRun>
void sustained(std::span<const TelemetryPoint> points, Signal signal, double threshold,
               const EventThresholds& t, int64_t interval_ms, OnRun on_run) {
    const double release = threshold * t.release_fraction;
    // A gap in the records (or time going back) ends a stretch: what happened
    // in between is unknown.
    const int64_t gap_limit = std::max<int64_t>(3 * interval_ms, 1000);
    bool active = false;
    size_t first = 0, last = 0, peak = 0;
    double peak_value = 0;
    const auto close = [&] {
        active = false;
        const int64_t held = points[last].time_ms - points[first].time_ms + interval_ms;
        if (held >= t.min_duration_ms)
            on_run(first, last, peak);
    };
    for (size_t i = 0; i < points.size(); ++i) {
        const double v = signal(points[i]);
        if (active) {
            const int64_t dt = points[i].time_ms - points[i - 1].time_ms;
            if (dt < 0 || dt > gap_limit || !(v >= release))
                close();
        }
        if (!(v >= threshold))
            continue;
        if (!active) {
            active = true;
            first = peak = i;
            peak_value = v;
        }
        last = i;
        if (v > peak_value) {
            peak = i;
            peak_value = v;
        }
    }
    if (active)
        close();
}

// Braking from the speed alone: the largest speed within the window before
// each record, against the record's own (a sliding maximum).
void speed_braking(std::span<const TelemetryPoint> points, const EventThresholds& t,
                   int64_t interval_ms, std::vector<Found>& out) {
    const auto usable = [&](size_t i) {
        return has_fix(points[i]) && plausible_speed(points[i].speed_kmh);
    };
    std::deque<size_t> window;  // record indices, speeds decreasing from the front
    bool in_event = false;
    Found event{EventKind::harsh_braking, EventBasis::speed, 0, 0, 0, 0};
    double best_drop = 0;
    size_t previous = points.size();
    const auto close = [&] {
        if (in_event)
            out.push_back(event);
        in_event = false;
    };
    for (size_t j = 0; j < points.size(); ++j) {
        if (!usable(j))
            continue;
        const int64_t now = points[j].time_ms;
        if (previous < points.size()) {
            const int64_t dt = now - points[previous].time_ms;
            if (dt < 0 || dt > t.speed_drop_window_ms) {
                window.clear();
                close();
            }
        }
        previous = j;
        while (!window.empty() && now - points[window.front()].time_ms > t.speed_drop_window_ms)
            window.pop_front();
        bool dropping = false;
        if (!window.empty()) {
            const size_t from = window.front();
            const double drop = points[from].speed_kmh - points[j].speed_kmh;
            if (drop > t.speed_drop_kmh) {
                dropping = true;
                if (!in_event) {
                    in_event = true;
                    event.first = from;
                    best_drop = 0;
                }
                event.last = j;
                if (drop > best_drop) {
                    best_drop = drop;
                    event.peak = j;
                    const int64_t dt = std::max(now - points[from].time_ms, interval_ms);
                    event.peak_g =
                        -(drop / 3.6) / (static_cast<double>(dt) / 1000.0) / kStandardGravity;
                }
            }
        }
        if (!dropping)
            close();
        while (!window.empty() && points[window.back()].speed_kmh <= points[j].speed_kmh)
            window.pop_back();
        window.push_back(j);
    }
    close();
}

struct GSensorState {
    bool present = false;
    bool flat = false;
    std::array<double, 3> mean{};
};

GSensorState gsensor_state(std::span<const TelemetryPoint> points, double flat_g) {
    GSensorState s;
    for (const TelemetryPoint& p : points) {
        if (p.gx != 0 || p.gy != 0 || p.gz != 0) {
            s.present = true;
            break;
        }
    }
    if (!s.present)
        return s;
    for (const TelemetryPoint& p : points) {
        s.mean[0] += p.gx;
        s.mean[1] += p.gy;
        s.mean[2] += p.gz;
    }
    for (double& m : s.mean)
        m /= static_cast<double>(points.size());
    double deviation = 0;
    for (const TelemetryPoint& p : points) {
        deviation = std::max({deviation, std::fabs(p.gx - s.mean[0]), std::fabs(p.gy - s.mean[1]),
                              std::fabs(p.gz - s.mean[2])});
    }
    s.flat = deviation <= flat_g;
    return s;
}

std::vector<ClipEvent> finish_events(std::span<const TelemetryPoint> points,
                                     const std::vector<bool>& on_route, std::vector<Found> found,
                                     int64_t merge_gap_ms) {
    const auto time = [&](size_t i) { return points[i].time_ms; };
    std::sort(found.begin(), found.end(), [&](const Found& a, const Found& b) {
        if (a.kind != b.kind)
            return a.kind < b.kind;
        return time(a.first) < time(b.first);
    });
    std::vector<Found> merged;
    for (const Found& f : found) {
        if (!merged.empty()) {
            Found& m = merged.back();
            if (m.kind == f.kind && time(f.first) - time(m.last) <= merge_gap_ms) {
                if (time(f.last) > time(m.last))
                    m.last = f.last;
                if (std::fabs(f.peak_g) > std::fabs(m.peak_g)) {
                    m.peak = f.peak;
                    m.peak_g = f.peak_g;
                    m.basis = f.basis;
                }
                continue;
            }
        }
        merged.push_back(f);
    }
    std::vector<ClipEvent> events;
    events.reserve(merged.size());
    for (const Found& f : merged) {
        ClipEvent e;
        e.kind = f.kind;
        e.basis = f.basis;
        e.start_ms = time(f.first);
        e.peak_ms = time(f.peak);
        e.end_ms = time(f.last);
        e.peak_g = f.peak_g;
        e.speed_change_kmh = points[f.last].speed_kmh - points[f.first].speed_kmh;
        const size_t at = nearest_fix(points, on_route, f.peak);
        if (at < points.size()) {
            e.has_position = true;
            e.lat = points[at].lat;
            e.lon = points[at].lon;
        }
        events.push_back(e);
    }
    std::stable_sort(events.begin(), events.end(), [](const ClipEvent& a, const ClipEvent& b) {
        return a.start_ms < b.start_ms;
    });
    return events;
}

std::vector<ClipEvent> find_events(std::span<const TelemetryPoint> points, const EventThresholds& t,
                                   bool axes_known, int64_t interval_ms,
                                   const std::vector<bool>& on_route) {
    std::vector<Found> found;
    const GSensorState g = gsensor_state(points, t.flat_g);
    const auto add_run = [&](EventKind kind, EventBasis basis, auto value) {
        return [&found, &points, kind, basis, value](size_t first, size_t last, size_t peak) {
            found.push_back(Found{kind, basis, first, last, peak, value(points[peak])});
        };
    };
    const auto gy = [](const TelemetryPoint& p) { return p.gy; };
    const auto gx = [](const TelemetryPoint& p) { return p.gx; };

    if (g.present && !g.flat) {
        // Gravity: straight down the z axis where the axes are known, else the
        // clip's mean G vector (a car's own accelerations average out over a
        // clip; a camera mounted at any angle still sees gravity there).
        std::array<double, 3> gravity{0, 0, 1};
        if (!axes_known) {
            gravity = g.mean;
            const double size = std::hypot(gravity[0], gravity[1], gravity[2]);
            if (size < 0.5)
                gravity = {0, 0, 0};  // no gravity in the readings: all of it is motion
        }
        const double gravity_size = std::hypot(gravity[0], gravity[1], gravity[2]);
        const auto dynamic = [gravity](const TelemetryPoint& p) {
            return std::array<double, 3>{p.gx - gravity[0], p.gy - gravity[1], p.gz - gravity[2]};
        };
        const auto magnitude = [dynamic](const TelemetryPoint& p) {
            const auto d = dynamic(p);
            return std::hypot(d[0], d[1], d[2]);
        };
        for (size_t i = 0; i < points.size(); ++i) {
            const double m = magnitude(points[i]);
            if (m >= t.impact_g)
                found.push_back(
                    Found{EventKind::impact, EventBasis::gsensor_magnitude, i, i, i, m});
        }
        if (axes_known) {
            sustained(
                points, [](const TelemetryPoint& p) { return -p.gy; }, t.braking_g, t, interval_ms,
                add_run(EventKind::harsh_braking, EventBasis::gsensor_axes, gy));
            sustained(points, gy, t.acceleration_g, t, interval_ms,
                      add_run(EventKind::harsh_acceleration, EventBasis::gsensor_axes, gy));
            // Left and right apart, so that a swerve's two sides are each measured.
            sustained(points, gx, t.cornering_g, t, interval_ms,
                      add_run(EventKind::sharp_cornering, EventBasis::gsensor_axes, gx));
            sustained(
                points, [](const TelemetryPoint& p) { return -p.gx; }, t.cornering_g, t,
                interval_ms, add_run(EventKind::sharp_cornering, EventBasis::gsensor_axes, gx));
        } else {
            // The part of the motion across gravity: the car's own pushes.
            const auto horizontal = [dynamic, gravity, gravity_size](const TelemetryPoint& p) {
                const auto d = dynamic(p);
                if (gravity_size == 0)
                    return std::hypot(d[0], d[1], d[2]);
                const double along =
                    (d[0] * gravity[0] + d[1] * gravity[1] + d[2] * gravity[2]) / gravity_size;
                const double total = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
                return std::sqrt(std::max(0.0, total - along * along));
            };
            sustained(points, horizontal, t.harsh_g, t, interval_ms,
                      add_run(EventKind::harsh_event, EventBasis::gsensor_magnitude, horizontal));
        }
    } else {
        speed_braking(points, t, interval_ms, found);
    }
    return finish_events(points, on_route, std::move(found), t.merge_gap_ms);
}

}  // namespace

double haversine_m(double lat1, double lon1, double lat2, double lon2) {
    const double dlat = (lat2 - lat1) * kDegToRad;
    const double dlon = (lon2 - lon1) * kDegToRad;
    const double h = std::sin(dlat / 2) * std::sin(dlat / 2) +
                     std::cos(lat1 * kDegToRad) * std::cos(lat2 * kDegToRad) * std::sin(dlon / 2) *
                         std::sin(dlon / 2);
    return 2 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(h)));
}

bool has_fix(const TelemetryPoint& p) {
    if (!std::isfinite(p.lat) || !std::isfinite(p.lon))
        return false;
    if (std::fabs(p.lat) > 90 || std::fabs(p.lon) > 180)
        return false;
    return !(std::fabs(p.lat) < 1e-7 && std::fabs(p.lon) < 1e-7);
}

std::string_view event_kind_name(EventKind kind) {
    switch (kind) {
        case EventKind::harsh_braking:
            return "harsh_braking";
        case EventKind::harsh_acceleration:
            return "harsh_acceleration";
        case EventKind::sharp_cornering:
            return "sharp_cornering";
        case EventKind::impact:
            return "impact";
        case EventKind::harsh_event:
            return "harsh_event";
    }
    return "unknown";
}

std::optional<EventKind> event_kind_from_name(std::string_view name) {
    for (size_t k = 0; k < kEventKindCount; ++k) {
        const auto kind = static_cast<EventKind>(k);
        if (event_kind_name(kind) == name)
            return kind;
    }
    return std::nullopt;
}

std::string_view event_basis_name(EventBasis basis) {
    switch (basis) {
        case EventBasis::gsensor_axes:
            return "axes";
        case EventBasis::gsensor_magnitude:
            return "magnitude";
        case EventBasis::speed:
            return "speed";
    }
    return "unknown";
}

std::vector<ClipEvent> detect_events(std::span<const TelemetryPoint> points,
                                     const EventThresholds& thresholds, bool axes_known) {
    const int64_t interval = record_interval_ms(points);
    const Route route = trace_route(points, interval);
    return find_events(points, thresholds, axes_known, interval, route.on_route);
}

ClipSummary summarize(std::span<const TelemetryPoint> points, const EventThresholds& thresholds,
                      bool axes_known) {
    ClipSummary s;
    s.axes_known = axes_known;
    s.records = points.size();
    if (points.empty())
        return s;
    s.first_ms = points.front().time_ms;
    s.last_ms = points.back().time_ms;
    s.duration_ms = std::max<int64_t>(0, s.last_ms - s.first_ms);

    const int64_t interval = record_interval_ms(points);
    const Route route = trace_route(points, interval);
    s.distance_m = route.distance_m;

    double speed_sum = 0;
    size_t speeds = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const TelemetryPoint& p = points[i];
        if (!has_fix(p))
            continue;
        ++s.fixes;
        if (plausible_speed(p.speed_kmh)) {
            s.max_speed_kmh = std::max(s.max_speed_kmh, p.speed_kmh);
            speed_sum += p.speed_kmh;
            ++speeds;
        }
        if (!route.on_route[i])
            continue;
        if (!s.has_position) {
            s.has_position = true;
            s.bounds = {p.lat, p.lon, p.lat, p.lon};
            s.start_lat = p.lat;
            s.start_lon = p.lon;
        }
        s.bounds.min_lat = std::min(s.bounds.min_lat, p.lat);
        s.bounds.min_lon = std::min(s.bounds.min_lon, p.lon);
        s.bounds.max_lat = std::max(s.bounds.max_lat, p.lat);
        s.bounds.max_lon = std::max(s.bounds.max_lon, p.lon);
        s.end_lat = p.lat;
        s.end_lon = p.lon;
    }
    if (speeds > 0)
        s.mean_speed_kmh = speed_sum / static_cast<double>(speeds);

    const GSensorState g = gsensor_state(points, thresholds.flat_g);
    s.has_gsensor = g.present;
    s.gsensor_flat = g.present && g.flat;
    s.events = find_events(points, thresholds, axes_known, interval, route.on_route);
    return s;
}

}  // namespace camvault
