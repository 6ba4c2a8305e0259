// Events and summaries on synthetic drives: a hard brake is found at its second
// with its peak, road noise and potholes are no events, cornering and impacts
// are; without a usable G-sensor braking comes from the speed, with unknown axes
// from the size of the force; distances leave out glitches and missing fixes.
#include "library/clip_summary.hpp"

#include <gtest/gtest.h>

#include <random>

#include "tests/library/drive_series.hpp"

namespace camvault {
namespace {

using testing::Drive;
using testing::kNine;
using testing::Reading;

const EventThresholds kDefaults{};

std::vector<ClipEvent> events_of(const Drive& drive, bool axes_known = true) {
    return detect_events(drive.points, kDefaults, axes_known);
}

// 60 s at 80 km/h, a -0.75 g brake to 15 km/h (2.45 s), 30 s at 15 km/h;
// ±0.15 g of road noise on every axis.
Drive hard_brake(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-0.15, 0.15);
    const auto road = [&](double kmh) {
        return [&, kmh](double) { return Reading{kmh, noise(rng), noise(rng), 1 + noise(rng)}; };
    };
    Drive drive;
    drive.run(60, road(80)).run(2.45, [&](double t) {
        return Reading{80 - 0.75 * 9.80665 * 3.6 * t, noise(rng), -0.75 + noise(rng) / 5, 1};
    });
    return drive.run(30, road(15));
}

TEST(ClipEvents, HardBrakeFoundAtItsSecondWithItsPeak) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const Drive drive = hard_brake(seed);
        const std::vector<ClipEvent> events = events_of(drive);
        ASSERT_EQ(events.size(), 1u) << seed;
        const ClipEvent& e = events[0];
        EXPECT_EQ(e.kind, EventKind::harsh_braking);
        EXPECT_EQ(e.basis, EventBasis::gsensor_axes);
        EXPECT_EQ((e.start_ms - kNine) / 1000, 60);
        EXPECT_EQ(e.end_ms - e.start_ms, 2400);
        EXPECT_LE(e.peak_g, -0.75);
        EXPECT_GE(e.peak_g, -0.78);
        const TelemetryPoint& peak = drive.points[(e.peak_ms - kNine) / 100];
        EXPECT_EQ(peak.gy, e.peak_g);
        EXPECT_EQ(e.lat, peak.lat);
        EXPECT_NEAR(e.speed_change_kmh, 16.4 - 80, 0.1);
        // With axes unknown the same brake is a harsh event of that size.
        const auto unknown = events_of(drive, false);
        ASSERT_EQ(unknown.size(), 1u);
        EXPECT_EQ(unknown[0].kind, EventKind::harsh_event);
        EXPECT_EQ(unknown[0].start_ms, e.start_ms);
    }
}

TEST(ClipEvents, RoadNoiseAndPotholesAreNoEvents) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> noise(-0.15, 0.15);
    Drive drive;
    drive.run(1200, [&](double t) {
        Reading r{60 + 20 * std::sin(t / 30), noise(rng), noise(rng), 1 + noise(rng)};
        if (rng() % 30 == 0)  // a pothole about every three seconds, on any axis
            (rng() % 3 == 0 ? r.gx : rng() % 2 ? r.gy : r.gz) += rng() % 2 ? 0.4 : -0.4;
        return r;
    });
    EXPECT_EQ(events_of(drive), std::vector<ClipEvent>{});
    EXPECT_EQ(events_of(drive, false), std::vector<ClipEvent>{});
}

TEST(ClipEvents, HowLongAndHowHard) {
    const auto push = [](double seconds, double gy) {
        Drive drive;
        drive.cruise(10, 50).run(seconds, [gy](double) { return Reading{50, 0, gy}; });
        return events_of(drive.cruise(10, 50));
    };
    EXPECT_TRUE(push(0.2, -0.6).empty());
    EXPECT_EQ(push(0.3, -0.6).size(), 1u);
    EXPECT_TRUE(push(1, -0.39).empty());
    EXPECT_EQ(push(1, -0.40).size(), 1u);  // at the threshold counts
    EXPECT_EQ(push(2, 0.4).at(0).kind, EventKind::harsh_acceleration);
    EXPECT_TRUE(push(2, 0.3).empty());

    // A real brake wavers: 0.5 and 0.34 g in turn is one brake, not pieces.
    Drive waving;
    waving.cruise(10, 70).run(2, [](double t) {
        return Reading{70, 0, std::lround(t * 10) % 2 ? -0.34 : -0.5};
    });
    const auto one = events_of(waving.cruise(10, 10));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].end_ms - one[0].start_ms, 1800);

    // One record a second: one reading stands for its whole second.
    Drive slow;
    slow.cruise(10, 50).run(0.1, [](double) { return Reading{50, 0, -0.6}; }).cruise(10, 50);
    for (size_t i = 0; i < slow.points.size(); ++i)
        slow.points[i].time_ms = kNine + static_cast<int64_t>(i) * 1000;
    EXPECT_EQ(events_of(slow).size(), 1u);

    // Records missing for 5 s between two 0.2 s pushes: nothing was held.
    Drive gap;
    gap.cruise(5, 50).run(0.2, [](double) { return Reading{50, 0, -0.6}; });
    Drive after(gap.now_ms() + 5000);
    after.run(0.2, [](double) { return Reading{50, 0, -0.6}; }).cruise(5, 50);
    gap.points.insert(gap.points.end(), after.points.begin(), after.points.end());
    EXPECT_TRUE(events_of(gap).empty());
}

TEST(ClipEvents, CorneringAndMerging) {
    const auto g = [](double gx, double gy) {
        return [gx, gy](double) { return Reading{40, gx, gy}; };
    };
    Drive drive;
    drive.cruise(5, 40).run(2, g(0.55, 0)).cruise(20, 40).run(1.5, g(-0.62, 0)).cruise(20, 40);
    drive.run(1, g(0.5, 0)).cruise(1, 40).run(1, g(-0.5, 0)).cruise(20, 40);  // a swerve
    drive.run(1, g(0, -0.6)).cruise(2.5, 40).run(1, g(0, -0.8)).cruise(3.5, 40);
    drive.run(1, g(0, -0.6)).cruise(10, 40);
    const std::vector<ClipEvent> e = events_of(drive);
    ASSERT_EQ(e.size(), 5u);
    const auto at = [](int64_t tenths) { return kNine + tenths * 100; };
    EXPECT_EQ(e[0].kind, EventKind::sharp_cornering);
    EXPECT_EQ(e[0].start_ms, at(50));
    EXPECT_EQ(e[0].peak_g, 0.55);  // to the right
    EXPECT_EQ(e[1].start_ms, at(270));
    EXPECT_EQ(e[1].peak_g, -0.62);  // to the left
    EXPECT_EQ(e[2].start_ms, at(485));
    EXPECT_EQ(e[2].end_ms, at(514));
    // Two brakes 2.6 s apart are one with the harder one's peak; 3.6 s later another.
    EXPECT_EQ(e[3].kind, EventKind::harsh_braking);
    EXPECT_EQ(e[3].start_ms, at(715));
    EXPECT_EQ(e[3].peak_ms, at(750));
    EXPECT_EQ(e[3].peak_g, -0.8);
    EXPECT_EQ(e[4].start_ms, at(795));
}

TEST(ClipEvents, ImpactIsASpikeInOneRecord) {
    Drive drive;
    drive.cruise(5, 30).run(0.1, [](double) { return Reading{30, 1.8, -2.0, 1.5}; });
    drive.cruise(10, 30).run(0.1, [](double) { return Reading{30, 1.5, -1.7, 1.2}; });  // 2.28 g
    const std::vector<ClipEvent> events = events_of(drive.cruise(5, 0));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::impact);
    EXPECT_EQ(events[0].peak_ms, kNine + 5000);
    EXPECT_NEAR(events[0].peak_g, std::sqrt(1.8 * 1.8 + 2.0 * 2.0 + 0.5 * 0.5), 1e-12);
}

TEST(ClipEvents, WithoutAUsableGSensorBrakingComesFromSpeed) {
    // 80 to 40 km/h in 2 s; a gentle slowing; a lost fix (0,0 at speed 0);
    // 60 to 30 km/h in 1 s.
    const auto ramp = [](double from, double per_s) {
        return [from, per_s](double t) { return Reading{from + per_s * t, 0, 0, 0}; };
    };
    Drive drive;
    drive.cruise(30, 80).run(2, ramp(80, -20)).cruise(30, 40).run(4, ramp(40, -5));
    drive.cruise(30, 20).run(10, ramp(20, 4)).cruise(10, 60).run(1, ramp(60, -30)).cruise(5, 30);
    for (TelemetryPoint& p : drive.points) {
        p.gx = p.gy = p.gz = 0;
        if (p.time_ms >= kNine + 80000 && p.time_ms < kNine + 81000)
            p.lat = p.lon = p.speed_kmh = 0;
    }
    const ClipSummary none = summarize(drive.points, kDefaults, true);
    EXPECT_FALSE(none.has_gsensor);
    ASSERT_EQ(none.events.size(), 2u);
    EXPECT_EQ(none.events[0].basis, EventBasis::speed);
    EXPECT_EQ(none.events[0].kind, EventKind::harsh_braking);
    EXPECT_EQ((none.events[0].start_ms - kNine) / 1000, 30);
    EXPECT_NEAR(none.events[0].peak_g, -(40 / 3.6) / 2 / 9.80665, 1e-9);  // the steepest 2 s
    EXPECT_EQ((none.events[1].start_ms - kNine) / 1000, 116);

    for (TelemetryPoint& p : drive.points)  // stuck at one reading
        p.gx = 0.01, p.gy = -0.02, p.gz = 0.98;
    const ClipSummary stuck = summarize(drive.points, kDefaults, true);
    EXPECT_TRUE(stuck.gsensor_flat);
    EXPECT_EQ(stuck.events, none.events);
}

TEST(ClipEvents, UnknownAxesMeasureFromTheMeanGravity) {
    // The camera lies on its side: gravity along x, the car's braking along z.
    Drive drive;
    drive.run(30, [](double) { return Reading{60, 1, 0, 0}; });
    drive.run(2, [](double) { return Reading{60, 1, 0, 0.6}; });
    drive.run(30, [](double) { return Reading{30, 1, 0, 0}; });
    drive.run(0.1, [](double) { return Reading{30, 3.9, 0, 0}; });
    const ClipSummary s = summarize(drive.points, kDefaults, false);
    EXPECT_FALSE(s.axes_known);
    ASSERT_EQ(s.events.size(), 2u) << s.events.size();
    EXPECT_EQ(s.events[0].kind, EventKind::harsh_event);
    EXPECT_EQ(s.events[0].start_ms, kNine + 30000);
    EXPECT_NEAR(s.events[0].peak_g, 0.6, 0.03);
    EXPECT_EQ(s.events[1].kind, EventKind::impact);
    EXPECT_NEAR(s.events[1].peak_g, 2.9, 0.03);
}

TEST(ClipSummary, FiguresWithoutGlitches) {
    Drive clean;
    clean.cruise(10, 0).cruise(50, 36).cruise(120, 72);  // 500 m + 2400 m
    const ClipSummary ref = summarize(clean.points, kDefaults, true);
    EXPECT_EQ(ref.records, 1800u);
    EXPECT_EQ(ref.duration_ms, 179900);
    EXPECT_NEAR(ref.distance_m, 2900, 3);
    EXPECT_EQ(ref.max_speed_kmh, 72);
    EXPECT_NEAR(ref.mean_speed_kmh, (500 * 36 + 1200 * 72) / 1800.0, 1e-9);
    EXPECT_EQ(ref.bounds.min_lat, clean.points.front().lat);  // heading north-east
    EXPECT_EQ(ref.bounds.max_lon, clean.points.back().lon);
    EXPECT_TRUE(ref.gsensor_flat);  // a perfectly smooth drive

    // No fix for the first 5 s; the first fix after them a glitch repeated for
    // a second (one fix a second, ten records); later a 5 km jump for one
    // record, a 3 km one for nine, and a reading of 2,000 km/h.
    std::vector<TelemetryPoint> p = clean.points;
    for (size_t i = 0; i < 50; ++i)
        p[i].lat = p[i].lon = 0;
    for (size_t i = 50; i < 60; ++i)
        p[i].lat += 1;
    p[500].lat += 0.045;
    for (size_t i = 1200; i < 1209; ++i)
        p[i].lon -= 0.045;
    p[900].speed_kmh = 2000;
    const ClipSummary s = summarize(p, kDefaults, true);
    EXPECT_EQ(s.fixes, 1750u);
    EXPECT_NEAR(s.distance_m, ref.distance_m, 0.5);
    EXPECT_EQ(s.max_speed_kmh, 72);
    EXPECT_EQ(s.start_lat, p[60].lat);
    EXPECT_EQ(s.bounds, ref.bounds);
    EXPECT_EQ(summarize({}, kDefaults, true).records, 0u);
}

}  // namespace
}  // namespace camvault
