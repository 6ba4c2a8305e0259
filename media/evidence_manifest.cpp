// The manifest of an evidence pack, as JSON text and back.
#include "media/evidence_manifest.hpp"

#include <nlohmann/json.hpp>
#include <set>

namespace camvault::media {

namespace {

using nlohmann::ordered_json;

constexpr int kFormat = 1;

Error not_a_manifest(const std::string& why) {
    return fail("manifest.json is not an evidence pack manifest: " + why);
}

}  // namespace

bool is_sha256_text(std::string_view text) {
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool is_pack_file_name(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name == kManifestName ||
        name == kManifestSealName)
        return false;
    for (const char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

std::string manifest_json(const PackManifest& m) {
    ordered_json j;
    j["format"] = kFormat;
    j["name"] = m.name;
    j["created"] = m.created;
    j["camvault_version"] = m.version;
    j["clock"] = {{"clock_correction_s", m.clock.clock_correction_s},
                  {"utc_offset_minutes", m.clock.utc_offset_minutes}};
    j["sources"] = ordered_json::array();
    for (const auto& s : m.sources)
        j["sources"].push_back(
            {{"name", s.name}, {"size", s.size}, {"fingerprint", s.fingerprint}});
    j["files"] = ordered_json::array();
    for (const auto& f : m.files)
        j["files"].push_back({{"name", f.name}, {"size", f.size}, {"sha256", f.sha256}});
    // Names come from file names: any bytes; invalid UTF-8 is replaced rather
    // than failing the whole pack.
    return j.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

Result<PackManifest> parse_manifest(std::string_view text) {
    const ordered_json j = ordered_json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object())
        return not_a_manifest("not JSON");
    try {
        if (j.at("format").get<int>() != kFormat)
            return not_a_manifest("an unknown format");
        PackManifest m;
        m.name = j.at("name").get<std::string>();
        m.created = j.at("created").get<std::string>();
        m.version = j.at("camvault_version").get<std::string>();
        m.clock.clock_correction_s = j.at("clock").at("clock_correction_s").get<int64_t>();
        m.clock.utc_offset_minutes = j.at("clock").at("utc_offset_minutes").get<int>();
        for (const auto& s : j.at("sources"))
            m.sources.push_back({s.at("name").get<std::string>(), s.at("size").get<uint64_t>(),
                                 s.at("fingerprint").get<std::string>()});
        std::set<std::string> seen;
        for (const auto& f : j.at("files")) {
            PackEntry e{f.at("name").get<std::string>(), f.at("size").get<uint64_t>(),
                        f.at("sha256").get<std::string>()};
            if (!is_pack_file_name(e.name))
                return not_a_manifest("it lists a file named \"" + e.name + "\"");
            if (!is_sha256_text(e.sha256))
                return not_a_manifest("the hash of " + e.name + " is no SHA-256");
            if (!seen.insert(e.name).second)
                return not_a_manifest(e.name + " is listed twice");
            m.files.push_back(std::move(e));
        }
        return m;
    } catch (const nlohmann::json::exception&) {
        return not_a_manifest("a field is missing or of the wrong kind");
    }
}

std::string manifest_seal(std::string_view manifest_sha256) {
    return std::string(manifest_sha256) + "  " + std::string(kManifestName) + "\n";
}

Result<std::string> parse_manifest_seal(std::string_view text) {
    const std::string expected_tail = "  " + std::string(kManifestName) + "\n";
    if (text.size() != 64 + expected_tail.size() || text.substr(64) != expected_tail ||
        !is_sha256_text(text.substr(0, 64)))
        return fail("manifest.sha256 is not one sha256sum line for manifest.json");
    return std::string(text.substr(0, 64));
}

}  // namespace camvault::media
