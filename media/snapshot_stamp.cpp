// Names and text chunks of stamped stills.
#include "media/snapshot_stamp.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace camvault::media {
namespace {

// Years 1 to 9999 in milliseconds since 1970 (proleptic Gregorian).
constexpr int64_t kFirstMs = -62135596800000;  // 0001-01-01T00:00:00
constexpr int64_t kEndMs = 253402300800000;    // 10000-01-01T00:00:00

std::optional<std::string> format_clock(int64_t clock_ms, const char* pattern) {
    if (clock_ms < kFirstMs || clock_ms >= kEndMs)
        return std::nullopt;
    int64_t seconds = clock_ms / 1000;
    int64_t millis = clock_ms % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!gmtime_r(&t, &utc))
        return std::nullopt;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return std::string(buffer);
}

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

bool finite(const std::optional<double>& v) {
    return v && std::isfinite(*v);
}

}  // namespace

std::optional<std::string> clock_file_stamp(int64_t clock_ms) {
    return format_clock(clock_ms, "%04d-%02d-%02d_%02d-%02d-%02d.%03d");
}

std::optional<std::string> clock_text(int64_t clock_ms) {
    return format_clock(clock_ms, "%04d-%02d-%02dT%02d:%02d:%02d.%03d");
}

std::optional<std::string> stamped_snapshot_stem(const std::string& clip_path,
                                                 const SnapshotStamp& stamp) {
    const auto stamp_text = clock_file_stamp(stamp.clock_ms);
    if (!stamp_text)
        return std::nullopt;
    std::string name = clip_path.substr(clip_path.find_last_of('/') + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    if (name.empty())
        name = "snapshot";
    return name + "_" + *stamp_text;
}

PngText snapshot_text_chunks(const std::string& clip_name, const SnapshotStamp& stamp,
                             const std::string& software) {
    PngText text;
    text.emplace_back("Title", clip_name);
    text.emplace_back("Source", clip_name);
    if (const auto when = clock_text(stamp.clock_ms))
        text.emplace_back("Creation Time", *when);
    if (finite(stamp.latitude) && finite(stamp.longitude) && std::fabs(*stamp.latitude) <= 90 &&
        std::fabs(*stamp.longitude) <= 180) {
        text.emplace_back("Latitude", fixed(*stamp.latitude, 7));
        text.emplace_back("Longitude", fixed(*stamp.longitude, 7));
    }
    if (finite(stamp.speed_kmh) && *stamp.speed_kmh >= 0)
        text.emplace_back("Speed", fixed(*stamp.speed_kmh, 1) + " km/h");
    if (finite(stamp.heading))
        text.emplace_back("Heading",
                          fixed(std::fmod(std::fmod(*stamp.heading, 360) + 360, 360), 1));
    text.emplace_back("Software", software);
    return text;
}

StillWriting still_writing(const std::string& clip_path, const std::optional<SnapshotStamp>& stamp,
                           std::string plain_stem, const std::string& software) {
    if (stamp) {
        if (auto stamped = stamped_snapshot_stem(clip_path, *stamp))
            return {*stamped,
                    snapshot_text_chunks(clip_path.substr(clip_path.find_last_of('/') + 1), *stamp,
                                         software),
                    stamp->caption};
    }
    return {std::move(plain_stem), {}, {}};
}

}  // namespace camvault::media
