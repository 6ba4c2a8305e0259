// Route files other GPS tools read: GPX 1.1, KML, CSV and GeoJSON.
#include "telemetry/route_export.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/utf8.hpp"
#include "telemetry/civil_date.hpp"

namespace camvault {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;
constexpr double kKmPerMile = 1.609344;

const int64_t kFirstMs = days_from_civil(1, 1, 1) * kMsPerDay;
const int64_t kEndMs = days_from_civil(10000, 1, 1) * kMsPerDay;

void append_fixed(std::string& out, double value, int decimals) {
    // A value that rounds to zero is written "0.000", not "-0.000" (a reading
    // of its own to a person).
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0;
    char buf[352];  // enough for any double in fixed notation
    const auto end =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals).ptr;
    out.append(buf, end);
}

void append_padded(std::string& out, int64_t value, int width) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    for (auto n = end - buf; n < width; ++n)
        out += '0';
    out.append(buf, end);
}

// Names come from file names: any bytes. XML 1.0 cannot hold most control
// characters at all, and a reader refuses a file that is not UTF-8.
std::string xml_text(std::string_view text) {
    const bool utf8 = is_valid_utf8(text);
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
            continue;
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += (byte >= 0x80 && !utf8) ? '?' : c;
        }
    }
    return out;
}

// A JSON string literal, quotes included.
std::string json_string(std::string_view text) {
    const bool utf8 = is_valid_utf8(text);
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += (byte >= 0x80 && !utf8) ? '?' : c;
        }
    }
    return out + "\"";
}

struct ExportPoint {
    const RoutePoint* point;
    std::string time;  // ISO 8601 UTC
};

// The exportable points of one clip, with their UTC times.
std::vector<ExportPoint> export_points(const ClipRoute& clip, const RouteOptions& options) {
    const int offset = options.utc_offset_minutes;
    const int64_t correction = options.clock_correction_s;
    std::vector<ExportPoint> points;
    points.reserve(clip.points.size());
    for (const auto& point : clip.points) {
        if (!is_exportable(point, offset, correction))
            continue;
        points.push_back({&point, iso_utc(*utc_milliseconds(point.time, offset, correction))});
    }
    return points;
}

void append_lat_lon_attributes(std::string& out, const RoutePoint& p) {
    out += "lat=\"";
    append_fixed(out, p.latitude, 7);
    out += "\" lon=\"";
    append_fixed(out, p.longitude, 7);
    out += '"';
}

std::string gpx_text(std::span<const ClipRoute> clips, const RouteOptions& options) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"" +
        xml_text(options.creator) +
        "\" xmlns=\"http://www.topografix.com/GPX/1/1\""
        " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
        " xmlns:camvault=\"" +
        std::string(kGpxExtensionNamespace) +
        "\""
        " xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1"
        " http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    out += "  <metadata>\n    <name>" + xml_text(options.title) + "</name>\n  </metadata>\n";
    out += "  <trk>\n    <name>" + xml_text(options.title) + "</name>\n";
    for (const auto& clip : clips) {
        const auto points = export_points(clip, options);
        if (points.empty())
            continue;
        out += "    <trkseg>\n";
        for (const auto& [p, time] : points) {
            out += "      <trkpt ";
            append_lat_lon_attributes(out, *p);
            out += "><time>" + time + "</time><extensions><camvault:speed>";
            append_fixed(out, p->speed_kmh / 3.6, 3);
            out += "</camvault:speed><camvault:course>";
            append_fixed(out, p->heading, 2);
            out += "</camvault:course>";
            if (p->has_accel) {
                const std::pair<const char*, double> axes[] = {
                    {"gx", p->g_x}, {"gy", p->g_y}, {"gz", p->g_z}};
                for (const auto& [name, value] : axes) {
                    out += std::string("<camvault:") + name + ">";
                    append_fixed(out, value, 3);
                    out += std::string("</camvault:") + name + ">";
                }
            }
            out += "</extensions></trkpt>\n";
        }
        out += "    </trkseg>\n";
    }
    out += "  </trk>\n</gpx>\n";
    return out;
}

std::string kml_text(std::span<const ClipRoute> clips, const RouteOptions& options) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\""
        " xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
        "<Document>\n"
        "  <name>" +
        xml_text(options.title) +
        "</name>\n"
        "  <Schema id=\"camvault-track\">\n"
        "    <gx:SimpleArrayField name=\"speed_kmh\" type=\"float\">"
        "<displayName>Speed (km/h)</displayName></gx:SimpleArrayField>\n"
        "    <gx:SimpleArrayField name=\"heading\" type=\"float\">"
        "<displayName>Heading (degrees)</displayName></gx:SimpleArrayField>\n"
        "  </Schema>\n";
    for (const auto& clip : clips) {
        const auto points = export_points(clip, options);
        if (points.empty())
            continue;
        out += "  <Placemark>\n    <name>" + xml_text(clip.name) + "</name>\n    <gx:Track>\n";
        for (const auto& point : points)
            out += "      <when>" + point.time + "</when>\n";
        for (const auto& point : points) {
            out += "      <gx:coord>";
            append_fixed(out, point.point->longitude, 7);
            out += ' ';
            append_fixed(out, point.point->latitude, 7);
            out += " 0</gx:coord>\n";
        }
        out += "      <ExtendedData>\n        <SchemaData schemaUrl=\"#camvault-track\">\n";
        const auto append_array = [&](const char* name, auto value_of) {
            out += std::string("          <gx:SimpleArrayData name=\"") + name + "\">";
            for (const auto& point : points) {
                out += "<gx:value>";
                append_fixed(out, value_of(*point.point), 2);
                out += "</gx:value>";
            }
            out += "</gx:SimpleArrayData>\n";
        };
        append_array("speed_kmh", [](const RoutePoint& p) { return p.speed_kmh; });
        append_array("heading", [](const RoutePoint& p) { return p.heading; });
        out += "        </SchemaData>\n      </ExtendedData>\n    </gx:Track>\n  </Placemark>\n";
    }
    out += "</Document>\n</kml>\n";
    return out;
}

std::string csv_text(std::span<const ClipRoute> clips, const RouteOptions& options) {
    const bool mph = options.csv_speed == SpeedUnit::mph;
    std::string out = std::string("time_utc,latitude,longitude,") +
                      (mph ? "speed_mph" : "speed_kmh") + ",heading,g_x,g_y,g_z\n";
    for (const auto& clip : clips) {
        for (const auto& [p, time] : export_points(clip, options)) {
            out += time + ',';
            append_fixed(out, p->latitude, 7);
            out += ',';
            append_fixed(out, p->longitude, 7);
            out += ',';
            append_fixed(out, mph ? p->speed_kmh / kKmPerMile : p->speed_kmh, 2);
            out += ',';
            append_fixed(out, p->heading, 2);
            // A layout without G-sensor leaves the columns empty, not zero.
            for (const double g : {p->g_x, p->g_y, p->g_z}) {
                out += ',';
                if (p->has_accel)
                    append_fixed(out, g, 3);
            }
            out += '\n';
        }
    }
    return out;
}

std::string geojson_text(std::span<const ClipRoute> clips, const RouteOptions& options) {
    std::string out = "{\"type\":\"FeatureCollection\",\"features\":[";
    bool first_feature = true;
    for (const auto& clip : clips) {
        const auto points = export_points(clip, options);
        if (points.empty())
            continue;
        out += first_feature ? "\n" : ",\n";
        first_feature = false;
        const auto append_list = [&](auto append_one) {
            out += '[';
            for (size_t i = 0; i < points.size(); ++i) {
                if (i)
                    out += ',';
                append_one(points[i]);
            }
            out += ']';
        };
        out += "{\"type\":\"Feature\",\"properties\":{\"name\":" + json_string(clip.name) +
               ",\"coordTimes\":";
        append_list([&](const ExportPoint& p) { out += '"' + p.time + '"'; });
        out += ",\"speed_kmh\":";
        append_list([&](const ExportPoint& p) { append_fixed(out, p.point->speed_kmh, 2); });
        out += ",\"heading\":";
        append_list([&](const ExportPoint& p) { append_fixed(out, p.point->heading, 2); });
        // RFC 7946: a LineString has two or more positions.
        out += "},\"geometry\":{\"type\":\"";
        out += points.size() == 1 ? "Point" : "LineString";
        out += "\",\"coordinates\":";
        const auto append_position = [&](const ExportPoint& p) {
            out += '[';
            append_fixed(out, p.point->longitude, 7);
            out += ',';
            append_fixed(out, p.point->latitude, 7);
            out += ']';
        };
        if (points.size() == 1)
            append_position(points.front());
        else
            append_list(append_position);
        out += "}}";
    }
    out += "\n]}\n";
    return out;
}

}  // namespace

RoutePoint route_point(const TelemetryRecord& record) {
    RoutePoint p;
    p.time = {record.year, record.month,  record.day,
              record.hour, record.minute, record.tenths_of_second / 10.0};
    if (record.next_minute)
        p.time.second += 60;  // utc_milliseconds carries it into the calendar
    p.latitude = record.latitude / 1e7;
    p.longitude = record.longitude / 1e7;
    p.speed_kmh = record.speed * 0.036;
    p.heading = record.degrees / 1e7;
    p.has_accel = true;
    p.g_x = record.x / 1e9;
    p.g_y = record.y / 1e9;
    p.g_z = record.z / 1e9;
    return p;
}

RoutePoint route_point(const TelemetryFix& fix) {
    RoutePoint p;
    p.time = {fix.year, fix.month, fix.day, fix.hour, fix.minute, fix.second};
    p.latitude = fix.latitude;
    p.longitude = fix.longitude;
    p.speed_kmh = fix.speed_kmh;
    p.heading = fix.track;
    p.has_accel = fix.has_accel;
    p.g_x = fix.x;
    p.g_y = fix.y;
    p.g_z = fix.z;
    return p;
}

std::optional<int64_t> utc_milliseconds(const CameraTime& t, int utc_offset_minutes,
                                        int64_t clock_correction_s) {
    // A second of up to 120 is a record of the next minute (route_point).
    if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > days_in_month(t.year, t.month) || t.hour > 23 || t.minute > 59 ||
        !std::isfinite(t.second) || t.second < 0 || t.second >= 120)
        return std::nullopt;
    const int64_t ms = days_from_civil(t.year, t.month, t.day) * kMsPerDay +
                       (int64_t{t.hour} * 3600 + int64_t{t.minute} * 60) * 1000 +
                       std::llround(t.second * 1000) - int64_t{utc_offset_minutes} * 60'000 +
                       clock_correction_s * 1000;
    if (ms < kFirstMs || ms >= kEndMs)
        return std::nullopt;
    return ms;
}

std::string iso_utc(int64_t milliseconds) {
    int64_t days = milliseconds / kMsPerDay;
    int64_t rest = milliseconds % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    const CivilDate date = civil_from_days(days);
    std::string out;
    append_padded(out, date.year, 4);
    out += '-';
    append_padded(out, date.month, 2);
    out += '-';
    append_padded(out, date.day, 2);
    out += 'T';
    append_padded(out, rest / 3'600'000, 2);
    out += ':';
    append_padded(out, rest / 60'000 % 60, 2);
    out += ':';
    append_padded(out, rest / 1000 % 60, 2);
    if (int64_t fraction = rest % 1000; fraction != 0) {
        int width = 3;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --width;
        }
        out += '.';
        append_padded(out, fraction, width);
    }
    out += 'Z';
    return out;
}

bool is_exportable(const RoutePoint& point, int utc_offset_minutes, int64_t clock_correction_s) {
    return utc_milliseconds(point.time, utc_offset_minutes, clock_correction_s).has_value() &&
           std::isfinite(point.latitude) && std::isfinite(point.longitude) &&
           std::fabs(point.latitude) <= 90 && std::fabs(point.longitude) <= 180 &&
           std::isfinite(point.speed_kmh) && std::isfinite(point.heading) &&
           (!point.has_accel ||
            (std::isfinite(point.g_x) && std::isfinite(point.g_y) && std::isfinite(point.g_z)));
}

void sort_by_clock(std::vector<ClipRoute>& clips, int utc_offset_minutes,
                   int64_t clock_correction_s) {
    const auto first_time = [&](const ClipRoute& clip) -> std::optional<int64_t> {
        for (const auto& point : clip.points)
            if (is_exportable(point, utc_offset_minutes, clock_correction_s))
                return utc_milliseconds(point.time, utc_offset_minutes, clock_correction_s);
        return std::nullopt;
    };
    std::vector<std::pair<std::optional<int64_t>, ClipRoute>> keyed;
    for (auto& clip : clips)
        keyed.emplace_back(first_time(clip), std::move(clip));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (!a.first || !b.first)
            return a.first.has_value() && !b.first.has_value();
        return *a.first < *b.first;
    });
    for (size_t i = 0; i < clips.size(); ++i)
        clips[i] = std::move(keyed[i].second);
}

std::optional<RouteFormat> route_format_named(std::string_view name) {
    for (const auto format :
         {RouteFormat::gpx, RouteFormat::kml, RouteFormat::csv, RouteFormat::geojson})
        if (route_format_extension(format) == name)
            return format;
    return std::nullopt;
}

std::string_view route_format_extension(RouteFormat format) {
    switch (format) {
        case RouteFormat::gpx:
            return "gpx";
        case RouteFormat::kml:
            return "kml";
        case RouteFormat::csv:
            return "csv";
        case RouteFormat::geojson:
            return "geojson";
    }
    return "";
}

std::string route_text(RouteFormat format, std::span<const ClipRoute> clips,
                       const RouteOptions& options) {
    switch (format) {
        case RouteFormat::gpx:
            return gpx_text(clips, options);
        case RouteFormat::kml:
            return kml_text(clips, options);
        case RouteFormat::csv:
            return csv_text(clips, options);
        case RouteFormat::geojson:
            return geojson_text(clips, options);
    }
    return "";
}

size_t exportable_points(std::span<const ClipRoute> clips, int utc_offset_minutes,
                         int64_t clock_correction_s) {
    size_t count = 0;
    for (const auto& clip : clips)
        count += static_cast<size_t>(
            std::count_if(clip.points.begin(), clip.points.end(), [&](const RoutePoint& p) {
                return is_exportable(p, utc_offset_minutes, clock_correction_s);
            }));
    return count;
}

}  // namespace camvault
