// The listing's clips and their JSON for the page.
#include "library/listing.hpp"

#include <sys/stat.h>

#include "base/fs/files.hpp"
#include "base/log.hpp"
#include "library/naming.hpp"
#include "library/summary_json.hpp"
#include "library/summary_store.hpp"
#include "library/trips.hpp"
#include "telemetry/script_reader.hpp"

namespace camvault {

std::vector<LibraryClip> listed_clips(LibraryIndex* index, const std::vector<std::string>& movies,
                                      const std::vector<std::string>& scripts,
                                      const EventThresholds& thresholds) {
    std::vector<LibraryClip> listed;
    listed.reserve(movies.size());
    for (size_t i = 0; i < movies.size(); ++i) {
        LibraryClip clip;
        clip.movie_path = movies[i];
        clip.key = clip_name(movies[i]);
        std::string script = i < scripts.size() ? scripts[i] : std::string();
        if (index) {
            if (auto row = index->by_path(movies[i]); row && *row) {
                const IndexedClip& known = **row;
                script = known.script_path;
                clip.key = known.script_key;
                clip.mtime_ms = known.mtime_ns / 1'000'000;
                StoredFacts facts = decode_facts(known.summary_json);
                if (facts.summary && facts.thresholds != thresholds) {
                    facts = resummarize(facts, known.script_path, thresholds);
                    // An unreadable script is tried again at the next listing.
                    if (facts.summary) {
                        if (auto kept = index->set_summary(movies[i], encode_facts(facts)); !kept)
                            log_line(kept.error());
                    }
                }
                clip.layout = facts.layout;
                clip.telemetry_cut = facts.cut;
                clip.summary = std::move(facts.summary);
            }
        }
        if (path_exists(script))
            clip.telemetry_path = script;
        struct stat info {};
        clip.present = ::stat(movies[i].c_str(), &info) == 0 && S_ISREG(info.st_mode);
        if (clip.present && clip.mtime_ms == 0)
            clip.mtime_ms =
                static_cast<int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1'000'000;
        listed.push_back(std::move(clip));
    }
    return listed;
}

std::vector<std::string> unavailable_movies(const std::vector<LibraryClip>& clips) {
    std::vector<std::string> movies;
    for (const auto& clip : clips)
        if (!clip.present)
            movies.push_back(clip.movie_path);
    return movies;
}

std::vector<std::string> search_listed(const std::vector<LibraryClip>& clips,
                                       const SearchFilter& filter) {
    const bool any = !filter.from_ms && !filter.to_ms && !filter.place && filter.event_kinds == 0;
    std::vector<ClipSummary> summaries;
    std::vector<size_t> owner;  // listing index of each summary
    for (size_t i = 0; i < clips.size(); ++i) {
        if (clips[i].summary) {
            summaries.push_back(*clips[i].summary);
            owner.push_back(i);
        }
    }
    std::vector<bool> passed(clips.size(), any);
    const RoutePoints points = [&](size_t at) -> std::optional<std::vector<TelemetryPoint>> {
        auto contents = read_telemetry_script_file(clips[owner[at]].telemetry_path);
        if (!contents)
            return std::nullopt;
        return std::move(contents->points);
    };
    for (size_t at : search(summaries, filter, points))
        passed[owner[at]] = true;
    std::vector<std::string> movies;
    for (size_t i = 0; i < clips.size(); ++i)
        if (passed[i])
            movies.push_back(clips[i].movie_path);
    return movies;
}

std::string listing_json(const std::vector<LibraryClip>& clips) {
    return library_summaries_json(clips, group_trips(clips));
}

}  // namespace camvault
