// The settings in settings.json.
#include "library/prefs.hpp"

#include <unistd.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>

#include "base/fs/atomic_file.hpp"
#include "base/fs/files.hpp"
#include "base/log.hpp"
#include "library/naming.hpp"

namespace camvault {
namespace {

using nlohmann::json;

// JSON Schema's "integer" is any number without a fraction, so 5.0 is one.
std::optional<int64_t> integer_within(const json& value, int64_t low, int64_t high) {
    if (value.is_number_unsigned()) {
        const auto n = value.get<uint64_t>();
        if (n > static_cast<uint64_t>(high))
            return std::nullopt;
        return static_cast<int64_t>(n);
    }
    if (value.is_number_integer()) {
        const auto n = value.get<int64_t>();
        return n < low || n > high ? std::nullopt : std::optional<int64_t>(n);
    }
    if (value.is_number_float()) {
        const double n = value.get<double>();
        if (!std::isfinite(n) || std::trunc(n) != n || n < static_cast<double>(low) ||
            n > static_cast<double>(high))
            return std::nullopt;
        return static_cast<int64_t>(n);
    }
    return std::nullopt;
}

std::optional<double> number_within(const json& value, double low, double high) {
    if (!value.is_number())
        return std::nullopt;
    const double n = value.get<double>();
    if (!std::isfinite(n) || n < low || n > high)
        return std::nullopt;
    return n;
}

Error invalid(std::string why) {
    return fail("prefs_invalid", {{"error", why}}, "Settings not saved: " + why);
}

struct Threshold {
    const char* name;
    double Prefs::*field;
    double low;
    double high;
};
constexpr Threshold kThresholds[] = {
    {"braking_g", &Prefs::braking_g, 0.05, 2},
    {"acceleration_g", &Prefs::acceleration_g, 0.05, 2},
    {"cornering_g", &Prefs::cornering_g, 0.05, 2},
    {"impact_g", &Prefs::impact_g, 0.5, 16},
};

struct Switch {
    const char* name;
    bool Prefs::*field;
};
constexpr Switch kSwitches[] = {
    {"reopen_library", &Prefs::reopen_library},
    {"stop_at_clip_end", &Prefs::stop_at_clip_end},
    {"snapshot_caption", &Prefs::snapshot_caption},
};

Status read_events(const json& events, Prefs& prefs) {
    if (!events.is_object())
        return invalid("\"events\" must be an object");
    for (const auto& threshold : kThresholds) {
        const auto found = events.find(threshold.name);
        if (found == events.end())
            continue;
        const auto value = number_within(*found, threshold.low, threshold.high);
        if (!value)
            return invalid("\"events\"." + std::string(threshold.name) + " must be a number from " +
                           json(threshold.low).dump() + " to " + json(threshold.high).dump());
        prefs.*threshold.field = *value;
    }
    return {};
}

// The whole file, or nothing when it is longer than `limit` (no settings file
// written by CamVault is) or cannot be read.
Result<std::string> read_small_file(const std::string& path, size_t limit) {
    auto fd = open_regular_file(path);
    if (!fd)
        return fd.failure();
    std::string text;
    char buffer[4096];
    Error error = fail("");
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(*fd, buffer, sizeof buffer);
        if (got < 0) {
            ok = false;
            error = fail("cannot read " + path);
            break;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
        if (text.size() > limit) {
            ok = false;
            error = fail(path + " is larger than " + std::to_string(limit) + " bytes");
            break;
        }
    }
    ::close(*fd);
    if (!ok)
        return error;
    return text;
}

}  // namespace

Result<Prefs> parse_prefs(std::string_view json_text) {
    const json in = json::parse(json_text, nullptr, false);
    if (in.is_discarded())
        return invalid("the settings are not valid JSON");
    if (!in.is_object())
        return invalid("the settings are not a JSON object");
    Prefs prefs;
    if (const auto found = in.find("clock_correction_s"); found != in.end()) {
        const auto value = integer_within(*found, -kMaxClockCorrectionS, kMaxClockCorrectionS);
        if (!value)
            return invalid("\"clock_correction_s\" must be a whole number of seconds from -" +
                           std::to_string(kMaxClockCorrectionS) + " to " +
                           std::to_string(kMaxClockCorrectionS));
        prefs.clock_correction_s = *value;
    }
    if (const auto found = in.find("camera_utc_offset_min"); found != in.end()) {
        const auto value = integer_within(*found, kMinUtcOffsetMin, kMaxUtcOffsetMin);
        if (!value)
            return invalid("\"camera_utc_offset_min\" must be a whole number of minutes from " +
                           std::to_string(kMinUtcOffsetMin) + " to " +
                           std::to_string(kMaxUtcOffsetMin));
        prefs.camera_utc_offset_min = static_cast<int>(*value);
    }
    if (const auto found = in.find("events"); found != in.end()) {
        if (auto read = read_events(*found, prefs); !read)
            return read.failure();
    }
    for (const auto& toggle : kSwitches) {
        const auto found = in.find(toggle.name);
        if (found == in.end())
            continue;
        if (!found->is_boolean())
            return invalid("\"" + std::string(toggle.name) + "\" must be true or false");
        prefs.*toggle.field = found->get<bool>();
    }
    return prefs;
}

std::string encode_prefs(const Prefs& prefs) {
    json events = json::object();
    for (const auto& threshold : kThresholds)
        events[threshold.name] = prefs.*threshold.field;
    json out = {{"clock_correction_s", prefs.clock_correction_s},
                {"camera_utc_offset_min", prefs.camera_utc_offset_min},
                {"events", std::move(events)}};
    for (const auto& toggle : kSwitches)
        out[toggle.name] = prefs.*toggle.field;
    return out.dump();
}

Prefs load_prefs_file(const std::string& path) {
    if (!path_exists(path))
        return {};
    auto text = read_small_file(path, kMaxPrefsSize);
    if (!text) {
        log_line("settings.json ignored, defaults used: " + text.error());
        return {};
    }
    auto prefs = parse_prefs(*text);
    if (!prefs) {
        log_line("settings.json ignored, defaults used: " + path + ": " +
                 prefs.failure().params.front().second);
        return {};
    }
    return *prefs;
}

Prefs load_prefs(std::string_view home) {
    return load_prefs_file(prefs_file_path(home));
}

Result<Prefs> save_prefs(std::string_view home, std::string_view json_text) {
    if (json_text.size() > kMaxPrefsSize) {
        const std::string size = std::to_string(json_text.size());
        const std::string limit = std::to_string(kMaxPrefsSize);
        return fail(
            "prefs_too_large", {{"size", size}, {"limit", limit}},
            "Settings not saved: " + size + " bytes is more than the " + limit + " bytes allowed.");
    }
    auto prefs = parse_prefs(json_text);
    if (!prefs)
        return prefs;
    if (auto written = write_file_atomically(prefs_file_path(home), encode_prefs(*prefs)); !written)
        return fail("prefs_not_saved", {{"error", written.error()}},
                    "Settings not saved: " + written.error());
    return prefs;
}

EventThresholds event_thresholds(const Prefs& prefs) {
    EventThresholds thresholds;
    thresholds.braking_g = prefs.braking_g;
    thresholds.acceleration_g = prefs.acceleration_g;
    thresholds.cornering_g = prefs.cornering_g;
    thresholds.harsh_g = prefs.cornering_g;
    thresholds.impact_g = prefs.impact_g;
    return thresholds;
}

}  // namespace camvault
