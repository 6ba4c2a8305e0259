// Stored clip facts.
#include "library/summary_store.hpp"

#include <nlohmann/json.hpp>

#include "telemetry/fix.hpp"
#include "telemetry/script_reader.hpp"

namespace camvault {
namespace {

using nlohmann::json;

json encode_event(const ClipEvent& e) {
    json out = {{"kind", event_kind_name(e.kind)},
                {"basis", event_basis_name(e.basis)},
                {"start", e.start_ms},
                {"peak", e.peak_ms},
                {"end", e.end_ms},
                {"g", e.peak_g},
                {"dv", e.speed_change_kmh}};
    if (e.has_position)
        out["at"] = {e.lat, e.lon};
    return out;
}

// Only what a setting can change: the other thresholds are the code's own.
json encode_thresholds(const EventThresholds& t) {
    return {{"braking", t.braking_g},
            {"acceleration", t.acceleration_g},
            {"cornering", t.cornering_g},
            {"harsh", t.harsh_g},
            {"impact", t.impact_g}};
}

EventThresholds decode_thresholds(const json& j) {
    EventThresholds t;
    t.braking_g = j.at("braking").get<double>();
    t.acceleration_g = j.at("acceleration").get<double>();
    t.cornering_g = j.at("cornering").get<double>();
    t.harsh_g = j.at("harsh").get<double>();
    t.impact_g = j.at("impact").get<double>();
    return t;
}

std::optional<EventBasis> basis_from_name(std::string_view name) {
    for (auto basis : {EventBasis::gsensor_axes, EventBasis::gsensor_magnitude, EventBasis::speed})
        if (event_basis_name(basis) == name)
            return basis;
    return std::nullopt;
}

}  // namespace

std::string encode_facts(const StoredFacts& facts) {
    json out = {{"v", 1}, {"layout", facts.layout}, {"cut", facts.cut}};
    if (facts.summary) {
        const ClipSummary& s = *facts.summary;
        json summary = {
            {"records", s.records},      {"first", s.first_ms},      {"last", s.last_ms},
            {"duration", s.duration_ms}, {"fixes", s.fixes},         {"distance", s.distance_m},
            {"max", s.max_speed_kmh},    {"mean", s.mean_speed_kmh}, {"gsensor", s.has_gsensor},
            {"flat", s.gsensor_flat},    {"axes", s.axes_known},     {"events", json::array()}};
        if (s.has_position) {
            summary["bounds"] = {s.bounds.min_lat, s.bounds.min_lon, s.bounds.max_lat,
                                 s.bounds.max_lon};
            summary["start"] = {s.start_lat, s.start_lon};
            summary["end"] = {s.end_lat, s.end_lon};
        }
        for (const auto& event : s.events)
            summary["events"].push_back(encode_event(event));
        out["summary"] = std::move(summary);
        out["thresholds"] = encode_thresholds(facts.thresholds);
    }
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

StoredFacts decode_facts(std::string_view text) {
    StoredFacts facts;
    const json in = json::parse(text, nullptr, false);
    if (in.is_discarded() || !in.is_object())
        return facts;
    try {
        facts.layout = in.value("layout", std::string());
        facts.cut = in.value("cut", false);
        if (in.contains("thresholds"))
            facts.thresholds = decode_thresholds(in["thresholds"]);
        if (!in.contains("summary") || !in["summary"].is_object())
            return facts;
        const json& j = in["summary"];
        ClipSummary s;
        s.records = j.at("records").get<size_t>();
        s.first_ms = j.at("first").get<int64_t>();
        s.last_ms = j.at("last").get<int64_t>();
        s.duration_ms = j.at("duration").get<int64_t>();
        s.fixes = j.at("fixes").get<size_t>();
        s.distance_m = j.at("distance").get<double>();
        s.max_speed_kmh = j.at("max").get<double>();
        s.mean_speed_kmh = j.at("mean").get<double>();
        s.has_gsensor = j.at("gsensor").get<bool>();
        s.gsensor_flat = j.at("flat").get<bool>();
        s.axes_known = j.at("axes").get<bool>();
        if (j.contains("bounds")) {
            const json& b = j["bounds"];
            s.has_position = true;
            s.bounds = {b.at(0).get<double>(), b.at(1).get<double>(), b.at(2).get<double>(),
                        b.at(3).get<double>()};
            s.start_lat = j["start"].at(0).get<double>();
            s.start_lon = j["start"].at(1).get<double>();
            s.end_lat = j["end"].at(0).get<double>();
            s.end_lon = j["end"].at(1).get<double>();
        }
        for (const json& e : j.at("events")) {
            const auto kind = event_kind_from_name(e.at("kind").get<std::string>());
            const auto basis = basis_from_name(e.at("basis").get<std::string>());
            if (!kind || !basis)
                continue;
            ClipEvent event;
            event.kind = *kind;
            event.basis = *basis;
            event.start_ms = e.at("start").get<int64_t>();
            event.peak_ms = e.at("peak").get<int64_t>();
            event.end_ms = e.at("end").get<int64_t>();
            event.peak_g = e.at("g").get<double>();
            event.speed_change_kmh = e.at("dv").get<double>();
            if (e.contains("at")) {
                event.has_position = true;
                event.lat = e["at"].at(0).get<double>();
                event.lon = e["at"].at(1).get<double>();
            }
            s.events.push_back(event);
        }
        facts.summary = std::move(s);
    } catch (const json::exception&) {
        facts.summary.reset();  // an index row from another version: known again when read
    }
    return facts;
}

StoredFacts summarize_script(const std::string& script_path, uint32_t layouts, bool cut,
                             const EventThresholds& thresholds) {
    StoredFacts facts;
    facts.cut = cut;
    facts.thresholds = thresholds;
    bool axes_known = true;
    for (unsigned i = 0; i < static_cast<unsigned>(TelemetryLayout::count); ++i) {
        const auto layout = static_cast<TelemetryLayout>(i);
        if ((layouts & layout_bit(layout)) == 0)
            continue;
        if (facts.layout.empty())
            facts.layout = std::string(layout_name(layout));
        if (layout_gsensor(layout) == GSensor::axes_unknown)
            axes_known = false;
    }
    auto contents = read_telemetry_script_file(script_path);
    if (!contents)
        return facts;
    facts.summary = summarize(contents->points, thresholds, axes_known);
    return facts;
}

StoredFacts resummarize(const StoredFacts& facts, const std::string& script_path,
                        const EventThresholds& thresholds) {
    StoredFacts fresh;
    fresh.layout = facts.layout;
    fresh.cut = facts.cut;
    fresh.thresholds = thresholds;
    auto contents = read_telemetry_script_file(script_path);
    if (!contents || !facts.summary)
        return fresh;
    fresh.summary = summarize(contents->points, thresholds, facts.summary->axes_known);
    return fresh;
}

}  // namespace camvault
