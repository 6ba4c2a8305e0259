// Reading the commands' arguments.
#include "bridge/command_args.hpp"

#include <cmath>

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>

#include "base/text.hpp"
#include "bridge/dispatcher.hpp"

namespace camvault {
namespace {

std::string_view prefix_of(Command command) {
    for (const auto& entry : kCommandTable)
        if (entry.command == command)
            return entry.prefix;
    return {};
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::vector<std::string> removal_paths(std::string_view url_text) {
    const std::string text =
        replace_all(remove_all(url_text, prefix_of(Command::file_del_fun)), "%20", " ");
    auto pieces = split_keep_empty(text, ',');
    for (auto& piece : pieces)
        piece = percent_decode(piece);
    return pieces;
}

std::string settings_text(std::string_view url_text) {
    return remove_all(url_text, prefix_of(Command::save_set));
}

std::string prefs_text(std::string_view url_text) {
    const std::string_view prefix = prefix_of(Command::save_prefs);
    const size_t at = url_text.find(prefix);
    if (at == std::string_view::npos)
        return {};
    return percent_decode(url_text.substr(at + prefix.size()));
}

int32_t read_leading_int32(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && is_blank(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > kLimit)
            value = kLimit;  // saturate; more digits cannot bring it back
    }
    if (negative)
        return static_cast<int32_t>(-value < std::numeric_limits<int32_t>::min()
                                        ? std::numeric_limits<int32_t>::min()
                                        : -value);
    return static_cast<int32_t>(
        value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : value);
}

PhotoArgs photo_args(std::string_view url_text) {
    const auto fields = split_keep_empty(remove_all(url_text, prefix_of(Command::get_photo)), ';');
    PhotoArgs args;
    args.movie_url = fields[0];
    if (fields.size() > 1)
        args.minutes = read_leading_int32(fields[1]);
    if (fields.size() > 2)
        args.seconds = read_leading_int32(fields[2]);
    args.complete = fields.size() >= 3;
    if (fields.size() > 3 && !fields[3].empty() && fields[3].size() <= 12 &&
        fields[3].find_first_not_of("0123456789") == std::string::npos)
        args.exact_ms = std::stoll(fields[3]);
    if (fields.size() > 4)
        args.stamp = photo_stamp_args(percent_decode(fields[4]));
    return args;
}

std::optional<PhotoStampArgs> photo_stamp_args(std::string_view json_text) {
    const auto json = nlohmann::json::parse(json_text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.contains("clock_ms") ||
        !json["clock_ms"].is_number_integer())
        return std::nullopt;
    PhotoStampArgs stamp;
    stamp.clock_ms = json["clock_ms"].get<int64_t>();
    const std::pair<const char*, std::optional<double>*> numbers[] = {
        {"lat", &stamp.lat},
        {"lon", &stamp.lon},
        {"speed_kmh", &stamp.speed_kmh},
        {"heading", &stamp.heading}};
    for (const auto& [name, target] : numbers) {
        if (!json.contains(name) || json[name].is_null())
            continue;
        if (!json[name].is_number())
            return std::nullopt;
        *target = json[name].get<double>();
    }
    if (json.contains("caption")) {
        const auto& lines = json["caption"];
        // A few short lines: the strip under a still, not a document.
        if (!lines.is_array() || lines.size() > 8)
            return std::nullopt;
        for (const auto& line : lines) {
            if (!line.is_string() || line.get_ref<const std::string&>().size() > 200)
                return std::nullopt;
            stamp.caption.push_back(line.get<std::string>());
        }
    }
    return stamp;
}

std::vector<std::string> merge_paths(std::string_view list_text) {
    std::vector<std::string> paths = split_keep_empty(list_text, ',');
    for (auto& path : paths)
        path = percent_decode(path);
    return paths;
}

Result<ExportRouteArgs> export_route_args(std::string_view url_text) {
    const std::string_view prefix = prefix_of(Command::export_route);
    const size_t at = url_text.find(prefix);
    if (at == std::string_view::npos)
        return fail("export_route: no argument");
    const std::string text = percent_decode(url_text.substr(at + prefix.size()));
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return fail("export_route: the argument is not a JSON object");
    ExportRouteArgs args;
    for (const auto& [key, value] : json.items()) {
        if (key == "clips") {
            if (!value.is_array() || value.empty())
                return fail("export_route: \"clips\" must list one or more clips");
            for (const auto& clip : value) {
                if (!clip.is_string() || !clip.get_ref<const std::string&>().starts_with('/'))
                    return fail("export_route: every clip must be an absolute path");
                args.clips.push_back(clip.get<std::string>());
            }
        } else if (key == "format") {
            static constexpr std::string_view kFormats[] = {"gpx", "kml", "csv", "geojson"};
            if (!value.is_string() ||
                std::find(std::begin(kFormats), std::end(kFormats),
                          value.get_ref<const std::string&>()) == std::end(kFormats))
                return fail("export_route: \"format\" must be gpx, kml, csv or geojson");
            args.format = value.get<std::string>();
        } else if (key == "speed_unit") {
            if (!value.is_string() || (value != "kmh" && value != "mph"))
                return fail("export_route: \"speed_unit\" must be kmh or mph");
            args.speed_unit = value.get<std::string>();
        } else {
            return fail("export_route: unknown field \"" + key + "\"");
        }
    }
    if (args.clips.empty() || args.format.empty())
        return fail("export_route: \"clips\" and \"format\" are required");
    return args;
}

bool valid_output_name(std::string_view name) {
    if (name.empty() || name.size() > kMaxExportNameBytes || name.front() == '.')
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f || c == '/')
            return false;
    return true;
}

namespace {

bool absolute_path(const nlohmann::json& value) {
    return value.is_string() && value.get_ref<const std::string&>().starts_with('/') &&
           value.get_ref<const std::string&>().find('\0') == std::string::npos;
}

bool whole_ms(const nlohmann::json& value) {
    return value.is_number_integer() && value.get<int64_t>() >= 0 &&
           value.get<int64_t>() < int64_t{1} << 50;
}

Result<ExportPieceArgs> export_piece(const nlohmann::json& json) {
    if (!json.is_object())
        return fail("export: every piece must be an object");
    ExportPieceArgs piece;
    for (const auto& [key, value] : json.items()) {
        if (key == "clip") {
            if (!absolute_path(value))
                return fail("export: a piece's \"clip\" must be an absolute path");
            piece.clip = value.get<std::string>();
        } else if (key == "from_ms" || key == "to_ms") {
            if (!whole_ms(value))
                return fail("export: \"" + key + "\" must be whole milliseconds");
            if (key == "from_ms")
                piece.from_ms = value.get<int64_t>();
            else
                piece.to_ms = value.get<int64_t>();
        } else {
            return fail("export: unknown piece field \"" + key + "\"");
        }
    }
    if (piece.clip.empty())
        return fail("export: every piece needs its \"clip\"");
    if (piece.to_ms && *piece.to_ms <= piece.from_ms)
        return fail("export: a piece must end after it starts");
    return piece;
}

Result<ExportEventArgs> export_event(const nlohmann::json& json) {
    if (!json.is_object())
        return fail("export: \"event\" must be an object");
    ExportEventArgs event;
    bool has_at = false;
    for (const auto& [key, value] : json.items()) {
        if (key == "kind") {
            if (!value.is_string() || value.get_ref<const std::string&>().size() > 40)
                return fail("export: the event's \"kind\" must be a short text");
            event.kind = value.get<std::string>();
        } else if (key == "clip") {
            if (!absolute_path(value))
                return fail("export: the event's \"clip\" must be an absolute path");
            event.clip = value.get<std::string>();
        } else if (key == "at_ms") {
            if (!whole_ms(value))
                return fail("export: the event's \"at_ms\" must be whole milliseconds");
            event.at_ms = value.get<int64_t>();
            has_at = true;
        } else if (key == "stamp") {
            event.stamp = photo_stamp_args(value.dump());
            if (!event.stamp)
                return fail("export: the event's \"stamp\" is not a frame's stamp");
        } else {
            return fail("export: unknown event field \"" + key + "\"");
        }
    }
    if (event.clip.empty() || !has_at)
        return fail("export: the event needs its \"clip\" and \"at_ms\"");
    return event;
}

}  // namespace

Result<ExportArgs> export_args(std::string_view url_text) {
    const std::string_view prefix = prefix_of(Command::export_movie);
    const size_t at = url_text.find(prefix);
    if (at == std::string_view::npos)
        return fail("export: no argument");
    const auto json =
        nlohmann::json::parse(percent_decode(url_text.substr(at + prefix.size())), nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return fail("export: the argument is not a JSON object");
    ExportArgs args;
    bool has_kind = false;
    for (const auto& [key, value] : json.items()) {
        if (key == "kind") {
            if (value == "merge")
                args.kind = ExportKind::merge;
            else if (value == "trim")
                args.kind = ExportKind::trim;
            else if (value == "evidence")
                args.kind = ExportKind::evidence;
            else
                return fail("export: \"kind\" must be merge, trim or evidence");
            has_kind = true;
        } else if (key == "pieces") {
            if (!value.is_array() || value.empty() || value.size() > kMaxExportPieces)
                return fail("export: \"pieces\" must list 1 to 1000 pieces");
            for (const auto& item : value) {
                auto piece = export_piece(item);
                if (!piece)
                    return piece.failure();
                args.pieces.push_back(std::move(*piece));
            }
        } else if (key == "name") {
            if (!value.is_string() || !valid_output_name(value.get_ref<const std::string&>()))
                return fail("export_bad_name", {},
                            "The name must be 1 to 100 bytes, without '/', control characters "
                            "or a leading '.'.");
            args.name = value.get<std::string>();
        } else if (key == "options") {
            if (!value.is_object())
                return fail("export: \"options\" must be an object");
            for (const auto& [option, setting] : value.items()) {
                if (option != "burn_in" || !setting.is_boolean())
                    return fail("export: unknown option \"" + option + "\"");
                args.burn_in = setting.get<bool>();
            }
        } else if (key == "event") {
            auto event = export_event(value);
            if (!event)
                return event.failure();
            args.event = std::move(*event);
        } else {
            return fail("export: unknown field \"" + key + "\"");
        }
    }
    if (!has_kind || args.pieces.empty())
        return fail("export: \"kind\" and \"pieces\" are required");
    if (args.kind == ExportKind::evidence && !args.event)
        return fail("export: an evidence pack needs its \"event\"");
    return args;
}

Result<SearchArgs> search_args(std::string_view url_text) {
    const std::string_view prefix = prefix_of(Command::library_search);
    const size_t at = url_text.find(prefix);
    if (at == std::string_view::npos)
        return fail("library_search: no argument");
    const auto json =
        nlohmann::json::parse(percent_decode(url_text.substr(at + prefix.size())), nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return fail("library_search: the argument is not a JSON object");
    SearchArgs args;
    for (const auto& [key, value] : json.items()) {
        if (key == "from" || key == "to") {
            if (!value.is_number_integer())
                return fail("library_search: \"" + key + "\" must be milliseconds");
            (key == "from" ? args.from_ms : args.to_ms) = value.get<int64_t>();
        } else if (key == "near") {
            if (!value.is_object() || !value.contains("lat") || !value.contains("lon") ||
                !value.contains("radius_m") || !value["lat"].is_number() ||
                !value["lon"].is_number() || !value["radius_m"].is_number())
                return fail("library_search: \"near\" needs lat, lon and radius_m");
            SearchArgs::Place place{value["lat"].get<double>(), value["lon"].get<double>(),
                                    value["radius_m"].get<double>()};
            if (std::abs(place.lat) > 90 || std::abs(place.lon) > 180 || !(place.radius_m >= 0))
                return fail("library_search: \"near\" is not a place on Earth");
            args.near = place;
        } else if (key == "events") {
            if (!value.is_array())
                return fail("library_search: \"events\" must list event kinds");
            for (const auto& kind : value) {
                if (!kind.is_string())
                    return fail("library_search: \"events\" must list event kinds");
                args.events.push_back(kind.get<std::string>());
            }
        } else {
            return fail("library_search: unknown field \"" + key + "\"");
        }
    }
    return args;
}

}  // namespace camvault
