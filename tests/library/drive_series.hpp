// Synthetic drives for the library tests: records ten a second whose
// positions follow the speed along a heading, with the G-sensor readings each
// test asks for.
#pragma once

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "telemetry/script_reader.hpp"

namespace camvault::testing {

inline constexpr int64_t kNine = 1780304400000;  // 2026-06-01 09:00:00 as recorded

struct Reading {
    double speed_kmh = 0;
    double gx = 0, gy = 0, gz = 1;
};

class Drive {
  public:
    explicit Drive(int64_t start_ms = kNine, double lat = 51.5, double lon = -0.12,
                   double heading = 45)
        : t_(start_ms), lat_(lat), lon_(lon), heading_(heading) {}

    // `seconds` of records; `at(t)` is the reading t seconds into the stretch.
    Drive& run(double seconds, const std::function<Reading(double t)>& at) {
        for (long i = 0, n = std::lround(seconds * 10); i < n; ++i) {
            const Reading r = at(i / 10.0);
            points.push_back({t_, lat_, lon_, r.speed_kmh, heading_, r.gx, r.gy, r.gz});
            const double m = r.speed_kmh / 36, rad = heading_ * std::numbers::pi / 180;
            lat_ += m * std::cos(rad) / 111195.0;
            lon_ += m * std::sin(rad) / (111195.0 * std::cos(lat_ * std::numbers::pi / 180));
            t_ += 100;
        }
        return *this;
    }
    Drive& cruise(double seconds, double kmh) {
        return run(seconds, [kmh](double) { return Reading{kmh}; });
    }
    Drive& turn(double degrees) {
        heading_ += degrees;
        return *this;
    }
    int64_t now_ms() const { return t_; }

    std::vector<TelemetryPoint> points;

  private:
    int64_t t_;
    double lat_, lon_, heading_;
};

}  // namespace camvault::testing
