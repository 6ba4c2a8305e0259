// Burn-in captions: records matched to the movie's seconds.
#include "app/export_captions.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "telemetry/freegps_writer.hpp"

namespace camvault {
namespace {

constexpr int64_t kNearestWithinMs = 2000;
constexpr double kKmPerMile = 1.609344;

std::string clock_text(int64_t ms) {
    const std::time_t t = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm utc{};
    if (!gmtime_r(&t, &utc))
        return {};
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return buffer;
}

}  // namespace

std::string caption_text(const RoutePoint& point, int64_t clock_ms, const CaptionStyle& style) {
    char speed[32];
    const double value = style.miles ? point.speed_kmh / kKmPerMile : point.speed_kmh;
    std::snprintf(speed, sizeof speed, "%.0f %s", value, style.miles ? "mph" : "km/h");
    std::string text = clock_text(clock_ms + style.clock_correction_s * 1000) + "   " + speed;
    if (point.latitude != 0 || point.longitude != 0) {
        char where[64];
        std::snprintf(where, sizeof where, "   %.5f %c  %.5f %c", std::fabs(point.latitude),
                      point.latitude < 0 ? 'S' : 'N', std::fabs(point.longitude),
                      point.longitude < 0 ? 'W' : 'E');
        text += where;
    }
    return text;
}

std::vector<TimedCaption> burn_in_captions(const std::vector<CaptionPiece>& pieces,
                                           const std::vector<RoutePoint>& points,
                                           const CaptionStyle& style) {
    // The records by their clock time, for the nearest-record lookups.
    std::vector<std::pair<int64_t, const RoutePoint*>> timed;
    for (const auto& point : points)
        if (const auto ms = camera_milliseconds(point.time))
            timed.emplace_back(*ms, &point);
    std::sort(timed.begin(), timed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<TimedCaption> captions;
    for (size_t index = 0; index < pieces.size(); ++index) {
        const CaptionPiece& piece = pieces[index];
        if (piece.clock_start_ms && !timed.empty()) {
            for (int64_t at = 0; at < piece.length_ms; at += 1000) {
                const int64_t clock = *piece.clock_start_ms + at;
                auto next = std::lower_bound(
                    timed.begin(), timed.end(), clock,
                    [](const auto& entry, int64_t value) { return entry.first < value; });
                auto best = next;
                if (next == timed.end() ||
                    (next != timed.begin() && clock - (next - 1)->first < next->first - clock))
                    best = next - 1;
                if (std::llabs(best->first - clock) > kNearestWithinMs)
                    continue;
                captions.push_back({index, at, std::min<int64_t>(1000, piece.length_ms - at),
                                    caption_text(*best->second, clock, style)});
            }
        }
    }
    return captions;
}

}  // namespace camvault
