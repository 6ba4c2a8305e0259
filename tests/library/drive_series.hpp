// Synthetic drives for the summary, trip and search tests: records ten a
// second whose positions follow the speed along a heading, with the G-sensor
// readings each test asks for.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "telemetry/script_reader.hpp"

namespace camvault::testing {

// 2026-06-01 09:00:00 as recorded, ms since 1970.
inline constexpr int64_t kNine = 1780304400000;

struct Reading {
    double speed_kmh = 0;
    double gx = 0, gy = 0, gz = 1;
};

class Drive {
  public:
    explicit Drive(int64_t start_ms = kNine, double lat = 51.5, double lon = -0.12,
                   double heading = 45)
        : time_ms_(start_ms), lat_(lat), lon_(lon), heading_(heading) {}

    // `seconds` of records ten a second; `at(t)` gives the reading t seconds
    // into this stretch.
    Drive& run(double seconds, const std::function<Reading(double t)>& at) {
        const int count = static_cast<int>(std::lround(seconds * 10));
        for (int i = 0; i < count; ++i) {
            const Reading r = at(i / 10.0);
            TelemetryPoint p;
            p.time_ms = time_ms_;
            p.lat = lat_;
            p.lon = lon_;
            p.speed_kmh = r.speed_kmh;
            p.heading = heading_;
            p.gx = r.gx;
            p.gy = r.gy;
            p.gz = r.gz;
            points_.push_back(p);
            advance(r.speed_kmh, 0.1);
        }
        return *this;
    }

    // Steady speed with the G-sensor at rest.
    Drive& cruise(double seconds, double kmh) {
        return run(seconds, [kmh](double) { return Reading{kmh, 0, 0, 1}; });
    }

    Drive& turn(double degrees) {
        heading_ += degrees;
        return *this;
    }

    const std::vector<TelemetryPoint>& points() const { return points_; }
    std::vector<TelemetryPoint>& points() { return points_; }
    int64_t now_ms() const { return time_ms_; }

  private:
    void advance(double kmh, double seconds) {
        const double metres = kmh / 3.6 * seconds;
        const double rad = heading_ * std::numbers::pi / 180;
        constexpr double kMetresPerDegree = 6371008.8 * std::numbers::pi / 180;
        lat_ += metres * std::cos(rad) / kMetresPerDegree;
        lon_ +=
            metres * std::sin(rad) / (kMetresPerDegree * std::cos(lat_ * std::numbers::pi / 180));
        time_ms_ += static_cast<int64_t>(std::lround(seconds * 1000));
    }

    std::vector<TelemetryPoint> points_;
    int64_t time_ms_;
    double lat_, lon_, heading_;
};

// Road noise: every axis off by up to ±amplitude g, uniformly.
class Noise {
  public:
    explicit Noise(unsigned seed, double amplitude = 0.15)
        : rng_(seed), dist_(-amplitude, amplitude) {}
    double operator()() { return dist_(rng_); }
    std::mt19937& rng() { return rng_; }

  private:
    std::mt19937 rng_;
    std::uniform_real_distribution<double> dist_;
};

}  // namespace camvault::testing
