// Clip summaries and events on synthetic drives: a hard brake is found at its
// second with its peak, road noise and potholes are not events, cornering and
// impacts are, a clip without G-sensor brakes by its speed, and a clip whose
// axes are unknown is judged by the size of its forces alone. Distances leave
// out receiver glitches and points without a fix.
#include "library/clip_summary.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/library/drive_series.hpp"

namespace camvault {
namespace {

using testing::Drive;
using testing::kNine;
using testing::Noise;
using testing::Reading;

const EventThresholds kDefaults{};

std::vector<ClipEvent> of_kind(const std::vector<ClipEvent>& events, EventKind kind) {
    std::vector<ClipEvent> out;
    std::copy_if(events.begin(), events.end(), std::back_inserter(out),
                 [kind](const ClipEvent& e) { return e.kind == kind; });
    return out;
}

// 60 s at 80 km/h, a -0.75 g brake down to 15 km/h over about 2.5 s, then
// 30 s at 15 km/h; road noise of ±0.15 g on every axis throughout.
Drive hard_brake_drive(unsigned seed) {
    Noise noise(seed);
    Drive drive;
    drive.run(60, [&](double) { return Reading{80, noise(), noise(), 1 + noise()}; });
    const double brake_s = (80.0 - 15.0) / 3.6 / (0.75 * 9.80665);  // 2.45 s
    drive.run(brake_s, [&](double t) {
        return Reading{80 - 0.75 * 9.80665 * 3.6 * t, noise(), -0.75 + noise() * 0.2, 1 + noise()};
    });
    drive.run(30, [&](double) { return Reading{15, noise(), noise(), 1 + noise()}; });
    return drive;
}

TEST(ClipEvents, HardBrakeFoundAtItsSecondWithItsPeak) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        const Drive drive = hard_brake_drive(seed);
        const std::vector<ClipEvent> events = detect_events(drive.points(), kDefaults, true);
        ASSERT_EQ(events.size(), 1u);
        const ClipEvent& e = events[0];
        EXPECT_EQ(e.kind, EventKind::harsh_braking);
        EXPECT_EQ(e.basis, EventBasis::gsensor_axes);
        EXPECT_EQ((e.start_ms - kNine) / 1000, 60);
        EXPECT_GE(e.peak_ms, e.start_ms);
        EXPECT_LE(e.peak_ms, e.end_ms);
        EXPECT_GE(e.end_ms - e.start_ms, 2200);
        EXPECT_LE(e.end_ms - e.start_ms, 2500);
        EXPECT_LE(e.peak_g, -0.75);
        EXPECT_GE(e.peak_g, -0.75 - 0.03);
        EXPECT_NEAR(e.speed_change_kmh, -(80.0 - 15.0), 5.0);
        // Where it peaked: the route's record at the peak time.
        ASSERT_TRUE(e.has_position);
        const auto at =
            std::find_if(drive.points().begin(), drive.points().end(),
                         [&](const TelemetryPoint& p) { return p.time_ms == e.peak_ms; });
        ASSERT_NE(at, drive.points().end());
        EXPECT_EQ(e.lat, at->lat);
        EXPECT_EQ(e.lon, at->lon);
    }
}

TEST(ClipEvents, RoadNoiseAndPotholesAreNoEvents) {
    for (unsigned seed = 1; seed <= 10; ++seed) {
        SCOPED_TRACE(seed);
        Noise noise(seed);
        std::bernoulli_distribution pothole(1.0 / 30);  // one every three seconds or so
        std::uniform_int_distribution<int> axis(0, 2);
        Drive drive;
        drive.run(600, [&](double t) {
            Reading r{60 + 20 * std::sin(t / 30), noise(), noise(), 1 + noise()};
            if (pothole(noise.rng())) {
                const double kick = std::bernoulli_distribution(0.5)(noise.rng()) ? 0.4 : -0.4;
                const int which = axis(noise.rng());
                (which == 0 ? r.gx : which == 1 ? r.gy : r.gz) += kick;
            }
            return r;
        });
        EXPECT_EQ(detect_events(drive.points(), kDefaults, true), std::vector<ClipEvent>{});
        EXPECT_EQ(detect_events(drive.points(), kDefaults, false), std::vector<ClipEvent>{});
    }
}

TEST(ClipEvents, ShortPushesAreNoEventsAndLongerOnesAre) {
    const auto push = [](int records, double gy) {
        Drive drive;
        drive.cruise(10, 50).run(records / 10.0, [gy](double) { return Reading{50, 0, gy, 1}; });
        drive.cruise(10, 50);
        return detect_events(drive.points(), kDefaults, true);
    };
    EXPECT_TRUE(push(2, -0.6).empty());   // 0.2 s
    ASSERT_EQ(push(3, -0.6).size(), 1u);  // 0.3 s
    EXPECT_TRUE(push(10, -0.39).empty());
    EXPECT_EQ(push(10, -0.40).size(), 1u);  // at the threshold counts
    EXPECT_EQ(push(3, -0.6)[0].kind, EventKind::harsh_braking);
    ASSERT_EQ(push(20, 0.4).size(), 1u);
    EXPECT_EQ(push(20, 0.4)[0].kind, EventKind::harsh_acceleration);
    EXPECT_DOUBLE_EQ(push(20, 0.4)[0].peak_g, 0.4);
    EXPECT_TRUE(push(20, 0.3).empty());
}

TEST(ClipEvents, AGapInTheRecordsEndsAStretch) {
    // Two tenths of a second of braking, five seconds without records, two
    // tenths more: nothing is known to have been held for 0.3 s.
    Drive drive;
    drive.cruise(5, 50).run(0.2, [](double) { return Reading{50, 0, -0.6, 1}; });
    Drive after(drive.now_ms() + 5000);
    after.run(0.2, [](double) { return Reading{50, 0, -0.6, 1}; }).cruise(5, 50);
    std::vector<TelemetryPoint> points = drive.points();
    points.insert(points.end(), after.points().begin(), after.points().end());
    EXPECT_TRUE(detect_events(points, kDefaults, true).empty());
}

TEST(ClipEvents, ABrakeWavingAroundTheThresholdIsOneEvent) {
    // A real brake of about 0.42 g reads between 0.34 and 0.5 g from record to
    // record; it must not fall apart into pieces too short to count.
    Drive drive;
    drive.cruise(10, 70).run(2, [](double t) {
        const int i = static_cast<int>(std::lround(t * 10));
        return Reading{70 - 30 * t, 0, i % 2 == 0 ? -0.5 : -0.34, 1};
    });
    drive.cruise(10, 10);
    const auto events = detect_events(drive.points(), kDefaults, true);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::harsh_braking);
    EXPECT_EQ(events[0].start_ms, kNine + 10000);
    EXPECT_EQ(events[0].end_ms, kNine + 11800);
    EXPECT_DOUBLE_EQ(events[0].peak_g, -0.5);
}

TEST(ClipEvents, CorneringBothWaysAndMerging) {
    const auto corner = [](double gx) { return [gx](double) { return Reading{40, gx, 0, 1}; }; };
    Drive drive;
    drive.cruise(5, 40).run(2, corner(0.55)).cruise(20, 40).run(1.5, corner(-0.62));
    drive.cruise(20, 40).run(1, corner(0.5)).cruise(1, 40).run(1, corner(-0.5)).cruise(10, 40);
    const auto events =
        of_kind(detect_events(drive.points(), kDefaults, true), EventKind::sharp_cornering);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].start_ms, kNine + 5000);
    EXPECT_DOUBLE_EQ(events[0].peak_g, 0.55);  // to the right
    EXPECT_EQ(events[1].start_ms, kNine + 27000);
    EXPECT_DOUBLE_EQ(events[1].peak_g, -0.62);  // to the left
    // A swerve: right, one second, left; one event, from the first push to the last.
    EXPECT_EQ(events[2].start_ms, kNine + 48500);
    EXPECT_EQ(events[2].end_ms, kNine + 48500 + 2900);
    EXPECT_DOUBLE_EQ(std::fabs(events[2].peak_g), 0.5);
}

TEST(ClipEvents, BrakesFarApartStayApart) {
    const auto brake = [](double) { return Reading{50, 0, -0.6, 1}; };
    const auto harder = [](double) { return Reading{50, 0, -0.8, 1}; };
    Drive near, far;
    near.cruise(5, 50).run(1, brake).cruise(2.5, 50).run(1, harder).cruise(5, 50);
    far.cruise(5, 50).run(1, brake).cruise(3.5, 50).run(1, brake).cruise(5, 50);
    const auto merged = detect_events(near.points(), kDefaults, true);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].start_ms, kNine + 5000);
    EXPECT_EQ(merged[0].end_ms, kNine + 9400);
    EXPECT_EQ(merged[0].peak_ms, kNine + 8500);  // the harder one's
    EXPECT_DOUBLE_EQ(merged[0].peak_g, -0.8);
    EXPECT_EQ(detect_events(far.points(), kDefaults, true).size(), 2u);
    EventThresholds wide = kDefaults;
    wide.merge_gap_ms = 5000;
    EXPECT_EQ(detect_events(far.points(), wide, true).size(), 1u);
}

TEST(ClipEvents, ImpactIsASpikeInOneRecord) {
    Drive drive;
    drive.cruise(5, 30).run(0.1, [](double) { return Reading{30, 1.8, -2.0, 1.5}; });
    drive.cruise(10, 30).run(0.1, [](double) { return Reading{30, 1.5, -1.7, 1.2}; });
    drive.cruise(5, 0);
    const auto events = detect_events(drive.points(), kDefaults, true);
    const auto impacts = of_kind(events, EventKind::impact);
    ASSERT_EQ(impacts.size(), 1u);  // the second spike is 2.28 g: no impact
    EXPECT_EQ(impacts[0].start_ms, kNine + 5000);
    EXPECT_EQ(impacts[0].peak_ms, kNine + 5000);
    EXPECT_NEAR(impacts[0].peak_g, std::sqrt(1.8 * 1.8 + 2.0 * 2.0 + 0.5 * 0.5), 1e-12);
    EXPECT_EQ(impacts[0].basis, EventBasis::gsensor_magnitude);
    EXPECT_EQ(events.size(), 1u);  // one record is no braking
}

TEST(ClipEvents, WithoutGSensorBrakingComesFromSpeed) {
    // 80 km/h, then 40 km/h less within 2 s, then on; a gentle slowing; a
    // receiver that loses its fix (0,0 at speed 0) for a second; up to 60 km/h
    // and down to 30 within a second.
    Drive drive;
    drive.cruise(30, 80).run(2, [](double t) { return Reading{80 - 20 * t, 0, 0, 0}; });
    drive.cruise(30, 40).run(4, [](double t) { return Reading{40 - 5 * t, 0, 0, 0}; });
    drive.cruise(30, 20).run(10, [](double t) { return Reading{20 + 4 * t, 0, 0, 0}; });
    drive.cruise(10, 60).run(1, [](double t) { return Reading{60 - 30 * t, 0, 0, 0}; });
    drive.cruise(10, 30);
    for (TelemetryPoint& p : drive.points()) {
        p.gx = p.gy = p.gz = 0;
        if (p.time_ms >= kNine + 80000 && p.time_ms < kNine + 81000)
            p.lat = p.lon = p.speed_kmh = 0;
    }
    const ClipSummary summary = summarize(drive.points(), kDefaults, true);
    EXPECT_FALSE(summary.has_gsensor);
    ASSERT_EQ(summary.events.size(), 2u);
    EXPECT_EQ(summary.events[1].kind, EventKind::harsh_braking);
    EXPECT_EQ((summary.events[1].start_ms - kNine) / 1000, 116);
    const ClipEvent& e = summary.events[0];
    EXPECT_EQ(e.kind, EventKind::harsh_braking);
    EXPECT_EQ(e.basis, EventBasis::speed);
    EXPECT_EQ((e.start_ms - kNine) / 1000, 30);
    // The steepest 2 s: 40 km/h less, 11.1 m/s in 2 s, 0.57 g.
    EXPECT_NEAR(e.peak_g, -(40 / 3.6) / 2.0 / 9.80665, 0.06);
    EXPECT_NEAR(e.speed_change_kmh, -40, 4.1);

    // The same from a G-sensor that is stuck at one reading.
    for (TelemetryPoint& p : drive.points()) {
        p.gx = 0.01;
        p.gy = -0.02;
        p.gz = 0.98;
    }
    const ClipSummary stuck = summarize(drive.points(), kDefaults, true);
    EXPECT_TRUE(stuck.has_gsensor);
    EXPECT_TRUE(stuck.gsensor_flat);
    EXPECT_EQ(stuck.events, summary.events);
}

TEST(ClipEvents, UnknownAxesUseTheSizeOfTheForceOnly) {
    // The camera lies on its side: gravity along x, and the car's braking
    // along z. The same brake with known axes would read as cornering.
    Noise noise(5, 0.05);
    Drive drive;
    drive.run(30, [&](double) { return Reading{60, 1 + noise(), noise(), noise()}; });
    drive.run(2, [&](double) { return Reading{60, 1 + noise(), noise(), 0.6 + noise()}; });
    drive.run(30, [&](double) { return Reading{30, 1 + noise(), noise(), noise()}; });
    drive.run(0.1, [&](double) { return Reading{30, 3.9, 0, 0}; });  // 2.9 g beyond gravity
    drive.run(10, [&](double) { return Reading{0, 1 + noise(), noise(), noise()}; });

    const ClipSummary summary = summarize(drive.points(), kDefaults, false);
    EXPECT_FALSE(summary.axes_known);
    ASSERT_EQ(summary.events.size(), 2u);
    EXPECT_EQ(summary.events[0].kind, EventKind::harsh_event);
    EXPECT_EQ(summary.events[0].basis, EventBasis::gsensor_magnitude);
    EXPECT_EQ((summary.events[0].start_ms - kNine) / 1000, 30);
    EXPECT_NEAR(summary.events[0].peak_g, 0.6, 0.1);
    EXPECT_EQ(summary.events[1].kind, EventKind::impact);
    EXPECT_EQ(summary.events[1].start_ms, kNine + 62000);
    EXPECT_NEAR(summary.events[1].peak_g, 2.9, 0.1);

    // The brake of the first test, axes unknown: a harsh event, no braking.
    const auto brake = detect_events(hard_brake_drive(3).points(), kDefaults, false);
    ASSERT_EQ(brake.size(), 1u);
    EXPECT_EQ(brake[0].kind, EventKind::harsh_event);
    EXPECT_EQ((brake[0].start_ms - kNine) / 1000, 60);
}

TEST(ClipSummary, TimesSpeedsAndPlace) {
    Drive drive;
    drive.cruise(60, 36).cruise(120, 72);  // 600 m + 2400 m
    const ClipSummary s = summarize(drive.points(), kDefaults, true);
    EXPECT_EQ(s.records, 1800u);
    EXPECT_EQ(s.fixes, 1800u);
    EXPECT_EQ(s.first_ms, kNine);
    EXPECT_EQ(s.last_ms, kNine + 179900);
    EXPECT_EQ(s.duration_ms, 179900);
    EXPECT_NEAR(s.distance_m, 3000, 3000 * 0.002);
    EXPECT_DOUBLE_EQ(s.max_speed_kmh, 72);
    EXPECT_NEAR(s.mean_speed_kmh, (1200 * 72 + 600 * 36) / 1800.0, 1e-9);
    ASSERT_TRUE(s.has_position);
    EXPECT_EQ(s.start_lat, drive.points().front().lat);
    EXPECT_EQ(s.end_lon, drive.points().back().lon);
    EXPECT_EQ(s.bounds.min_lat, drive.points().front().lat);  // heading north-east
    EXPECT_EQ(s.bounds.max_lon, drive.points().back().lon);
    EXPECT_TRUE(s.has_gsensor);
    EXPECT_TRUE(s.gsensor_flat);  // a perfectly smooth drive reads (0, 0, 1) throughout
    EXPECT_TRUE(s.events.empty());
}

TEST(ClipSummary, GlitchesAndMissingFixesAreLeftOut) {
    Drive clean;
    clean.cruise(10, 0).cruise(170, 72);
    const ClipSummary reference = summarize(clean.points(), kDefaults, true);

    Drive drive = clean;
    std::vector<TelemetryPoint>& p = drive.points();
    // No fix for the first ten seconds; a jump of 5 km for one record; a
    // reading of 2,000 km/h; a jump of 3 km that the receiver repeats for
    // nine records (one fix a second, ten records a second).
    for (size_t i = 0; i < 100; ++i)
        p[i].lat = p[i].lon = 0;
    p[500].lat += 0.045;
    p[900].speed_kmh = 2000;
    for (size_t i = 1200; i < 1209; ++i)
        p[i].lon -= 0.045;
    const ClipSummary s = summarize(p, kDefaults, true);
    EXPECT_EQ(s.fixes, p.size() - 100);
    // The held-back records' steps are measured from the record before them.
    EXPECT_NEAR(s.distance_m, reference.distance_m, 0.5);
    EXPECT_DOUBLE_EQ(s.max_speed_kmh, 72);
    EXPECT_EQ(s.start_lat, p[100].lat);
    EXPECT_EQ(s.bounds, reference.bounds);

    // The very first fix is the glitch, repeated for a second (one fix a
    // second, ten records a second): the route starts after it.
    Drive late = clean;
    for (size_t i = 0; i < 10; ++i)
        late.points()[i].lat += 1.0;
    const ClipSummary first_glitch = summarize(late.points(), kDefaults, true);
    EXPECT_EQ(first_glitch.start_lat, clean.points()[10].lat);
    EXPECT_EQ(first_glitch.bounds, reference.bounds);
    EXPECT_NEAR(first_glitch.distance_m, reference.distance_m, 1);
}

TEST(ClipSummary, OneFixASecondAmongTenRecordsIsDriving) {
    // 200 km/h with the position updated once a second: 55 m jumps between
    // records a tenth of a second apart are no glitch.
    Drive drive;
    drive.cruise(60, 200);
    std::vector<TelemetryPoint>& p = drive.points();
    for (size_t i = 0; i < p.size(); ++i) {
        p[i].lat = p[i - i % 10].lat;
        p[i].lon = p[i - i % 10].lon;
    }
    const ClipSummary s = summarize(p, kDefaults, true);
    EXPECT_NEAR(s.distance_m, 200 / 3.6 * 59, 20);
}

TEST(ClipSummary, NothingToSummarize) {
    const ClipSummary s = summarize({}, kDefaults, false);
    EXPECT_EQ(s.records, 0u);
    EXPECT_FALSE(s.has_position);
    EXPECT_FALSE(s.axes_known);
    EXPECT_TRUE(s.events.empty());
    EXPECT_EQ(event_kind_from_name("sharp_cornering"), EventKind::sharp_cornering);
    EXPECT_EQ(event_kind_from_name("braking"), std::nullopt);
}

}  // namespace
}  // namespace camvault
