// Trips: clips recorded one after the other on one drive.
#include "library/trips.hpp"

#include <algorithm>
#include <map>

namespace camvault {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Compares two runs of digits by value without converting them (a run may be
// longer than any integer type).
int compare_numbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0')
        a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0')
        b.remove_prefix(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a.compare(b) > 0 ? 1 : 0);
}

size_t run_end(std::string_view text, size_t from, bool digits) {
    while (from < text.size() && is_digit(text[from]) == digits)
        ++from;
    return from;
}

}  // namespace

int compare_clip_names(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digits = is_digit(a[i]);
        if (digits != is_digit(b[j]))
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        const size_t ei = run_end(a, i, digits);
        const size_t ej = run_end(b, j, digits);
        const std::string_view ra = a.substr(i, ei - i);
        const std::string_view rb = b.substr(j, ej - j);
        const int c = digits ? compare_numbers(ra, rb) : ra.compare(rb);
        if (c != 0)
            return c < 0 ? -1 : 1;
        i = ei;
        j = ej;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    const int c = a.compare(b);  // "clip01" and "clip1": still an order
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string_view file_name_of(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::vector<Trip> group_trips(std::span<const LibraryClip> clips, int64_t gap_ms) {
    const auto name = [&](size_t i) { return file_name_of(clips[i].movie_path); };
    const auto by_name = [&](size_t a, size_t b) {
        const int c = compare_clip_names(name(a), name(b));
        return c != 0 ? c < 0 : a < b;
    };

    std::vector<size_t> timed, untimed;
    for (size_t i = 0; i < clips.size(); ++i)
        (clips[i].timed() ? timed : untimed).push_back(i);
    std::sort(timed.begin(), timed.end(), [&](size_t a, size_t b) {
        const int64_t ta = clips[a].summary->first_ms;
        const int64_t tb = clips[b].summary->first_ms;
        return ta != tb ? ta < tb : by_name(a, b);
    });

    // The timed clips into trips; where each clip landed.
    std::vector<std::vector<size_t>> members;
    std::vector<int64_t> ends;
    std::vector<size_t> trip_of(clips.size()), place_of(clips.size());
    for (const size_t i : timed) {
        const ClipSummary& s = *clips[i].summary;
        if (members.empty() || s.first_ms - ends.back() > gap_ms) {
            members.emplace_back();
            ends.push_back(s.last_ms);
        }
        trip_of[i] = members.size() - 1;
        place_of[i] = members.back().size();
        members.back().push_back(i);
        ends.back() = std::max(ends.back(), s.last_ms);
    }

    // Each untimed clip between its neighbours by name among the timed clips.
    std::vector<size_t> timed_by_name = timed;
    std::sort(timed_by_name.begin(), timed_by_name.end(), by_name);
    std::map<std::pair<size_t, size_t>, std::vector<size_t>> joining;  // (trip, place) -> clips
    std::vector<size_t> alone;
    for (const size_t u : untimed) {
        const auto next = std::lower_bound(
            timed_by_name.begin(), timed_by_name.end(), u,
            [&](size_t t, size_t x) { return compare_clip_names(name(t), name(x)) < 0; });
        bool placed = false;
        if (next != timed_by_name.begin() && next != timed_by_name.end() &&
            compare_clip_names(name(*next), name(u)) > 0) {
            const size_t before = *(next - 1);
            const size_t after = *next;
            if (trip_of[before] == trip_of[after] && place_of[after] == place_of[before] + 1 &&
                clips[before].mtime_ms <= clips[u].mtime_ms &&
                clips[u].mtime_ms <= clips[after].mtime_ms) {
                joining[{trip_of[before], place_of[before]}].push_back(u);
                placed = true;
            }
        }
        if (!placed)
            alone.push_back(u);
    }

    std::vector<Trip> trips;
    trips.reserve(members.size() + alone.size());
    for (size_t t = 0; t < members.size(); ++t) {
        Trip trip;
        const ClipSummary& first = *clips[members[t].front()].summary;
        trip.start_ms = first.first_ms;
        trip.end_ms = ends[t];
        trip.duration_ms = trip.end_ms - trip.start_ms;
        for (size_t place = 0; place < members[t].size(); ++place) {
            const size_t i = members[t][place];
            const ClipSummary& s = *clips[i].summary;
            trip.distance_m += s.distance_m;
            trip.max_speed_kmh = std::max(trip.max_speed_kmh, s.max_speed_kmh);
            trip.event_count += s.events.size();
            trip.clips.push_back(i);
            const auto found = joining.find({t, place});
            if (found != joining.end()) {
                std::vector<size_t> between = found->second;
                std::sort(between.begin(), between.end(), by_name);
                trip.clips.insert(trip.clips.end(), between.begin(), between.end());
            }
        }
        trips.push_back(std::move(trip));
    }
    std::sort(alone.begin(), alone.end(), by_name);
    for (const size_t u : alone) {
        Trip trip;
        trip.timed = false;
        trip.clips = {u};
        trips.push_back(std::move(trip));
    }
    return trips;
}

}  // namespace camvault
