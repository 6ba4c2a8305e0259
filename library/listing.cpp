// The listing's JSON for the page.
#include "library/listing.hpp"

#include <nlohmann/json.hpp>

#include "base/fs/files.hpp"
#include "library/naming.hpp"

namespace camvault {

std::vector<ListedClip> listed_clips(LibraryIndex* index, const std::vector<std::string>& movies,
                                     const std::vector<std::string>& scripts) {
    std::vector<ListedClip> listed;
    listed.reserve(movies.size());
    for (size_t i = 0; i < movies.size(); ++i) {
        ListedClip entry;
        if (index) {
            if (auto row = index->by_path(movies[i]); row && *row)
                entry.clip = std::move(**row);
        }
        if (entry.clip.source_path.empty()) {
            entry.clip.source_path = movies[i];
            entry.clip.name = clip_name(movies[i]);
            entry.clip.script_key = entry.clip.name;
            entry.clip.script_path = i < scripts.size() ? scripts[i] : std::string();
        }
        entry.present = is_regular_file(movies[i]);
        listed.push_back(std::move(entry));
    }
    return listed;
}

std::vector<std::string> unavailable_movies(const std::vector<ListedClip>& clips) {
    std::vector<std::string> movies;
    for (const auto& listed : clips)
        if (!listed.present)
            movies.push_back(listed.clip.source_path);
    return movies;
}

std::string listing_json(const std::vector<ListedClip>& clips) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& listed : clips) {
        nlohmann::json summary = nullptr;
        if (!listed.clip.summary_json.empty()) {
            summary = nlohmann::json::parse(listed.clip.summary_json, nullptr, false);
            if (summary.is_discarded())
                summary = nullptr;
        }
        list.push_back({{"movie", listed.clip.source_path},
                        {"script", listed.clip.script_path},
                        {"key", listed.clip.script_key},
                        {"present", listed.present},
                        {"summary", std::move(summary)}});
    }
    return nlohmann::json{{"clips", std::move(list)}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace camvault
