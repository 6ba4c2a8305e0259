// The export command's stages: clips read on a worker, the movie made by
// MergeExport, then on the worker again the telemetry put in, the movie
// published with its GPX, or the evidence pack made.
#include "app/export_job.hpp"

#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>

#include "app/export_captions.hpp"
#include "app/media_page_calls.hpp"
#include "base/fs/unique_names.hpp"
#include "base/glib/gobject_ptr.hpp"
#include "base/glib/work_pool.hpp"
#include "base/log.hpp"
#include "library/fingerprint.hpp"
#include "library/naming.hpp"
#include "media/caption_strip.hpp"
#include "media/evidence_pack.hpp"
#include "media/file_names.hpp"
#include "media/frame_grabber.hpp"
#include "media/merge_export.hpp"
#include "media/photo_request.hpp"
#include "media/png_file.hpp"
#include "media/route_map.hpp"
#include "media/track_duration.hpp"
#include "telemetry/extract.hpp"
#include "telemetry/freegps_writer.hpp"
#include "telemetry/route_beside.hpp"
#include "telemetry/route_export.hpp"

namespace camvault {
namespace {

// What the worker read of each clip the pieces name.
struct ClipFacts {
    ClipRoute route;
    std::optional<int64_t> first_ms;  // the camera clock at the clip's first record
    std::optional<int64_t> last_ms;
    std::optional<ClipIdentity> identity;
    std::optional<int64_t> video_ms;  // the picture's length, for burnt-in captions
};
using ClipFactsMap = std::map<std::string, ClipFacts>;

ClipFactsMap read_clips(const ExportArgs& args) {
    ClipFactsMap facts;
    std::vector<std::string> paths;
    for (const auto& piece : args.pieces)
        paths.push_back(piece.clip);
    if (args.event)
        paths.push_back(args.event->clip);
    for (const auto& path : paths) {
        if (facts.count(path))
            continue;
        ClipFacts& clip = facts[path];
        if (auto route = read_clip_route(path, clip_name(path)))
            clip.route = std::move(*route);
        for (const auto& point : clip.route.points) {
            if (const auto ms = camera_milliseconds(point.time)) {
                clip.first_ms = clip.first_ms ? std::min(*clip.first_ms, *ms) : *ms;
                clip.last_ms = clip.last_ms ? std::max(*clip.last_ms, *ms) : *ms;
            }
        }
        if (args.kind == ExportKind::evidence)
            if (auto identity = identify_clip(path))
                clip.identity = std::move(*identity);
        if (args.burn_in)
            if (const auto ns = media::video_track_duration(path))
                clip.video_ms = static_cast<int64_t>(*ns / 1'000'000);
    }
    return facts;
}

// The camera-clock span of a piece, as the page lines a clip's records up
// with its picture: the first record at the start of the clip.
std::optional<CameraSpan> piece_span(const ExportPieceArgs& piece, const ClipFacts& clip) {
    if (!clip.first_ms)
        return std::nullopt;
    CameraSpan span;
    span.start_ms = *clip.first_ms + piece.from_ms;
    span.end_ms = piece.to_ms ? *clip.first_ms + *piece.to_ms : *clip.last_ms;
    if (span.end_ms <= span.start_ms)
        return std::nullopt;
    return span;
}

RouteOptions route_options(const Prefs& prefs, const std::string& title) {
    RouteOptions options;
    options.utc_offset_minutes = prefs.camera_utc_offset_min;
    options.clock_correction_s = prefs.clock_correction_s;
    options.title = title;
    return options;
}

// A hidden working folder in `dir` for a pack's files before they are sealed.
struct WorkFolder {
    std::string path;
    explicit WorkFolder(const std::string& dir) {
        std::string pattern = dir + "/.camvault-pack-XXXXXX";
        if (g_mkdtemp(pattern.data()))
            path = pattern;
    }
    ~WorkFolder() {
        if (!path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
};

}  // namespace

std::vector<media::PieceCaption> export_captions(const ExportArgs& args, const ClipFactsMap& clips,
                                                 const CaptionStyle& style) {
    std::vector<CaptionPiece> pieces;
    std::vector<RoutePoint> points;
    for (const auto& piece : args.pieces) {
        CaptionPiece out;
        const auto found = clips.find(piece.clip);
        if (found != clips.end()) {
            const ClipFacts& clip = found->second;
            if (clip.first_ms)
                out.clock_start_ms = *clip.first_ms + piece.from_ms;
            const int64_t end = piece.to_ms ? *piece.to_ms : clip.video_ms.value_or(0);
            out.length_ms = std::max<int64_t>(0, end - piece.from_ms);
            points.insert(points.end(), clip.route.points.begin(), clip.route.points.end());
        }
        pieces.push_back(out);
    }
    std::vector<media::PieceCaption> captions;
    for (const auto& caption : burn_in_captions(pieces, points, style))
        captions.push_back({caption.piece, static_cast<uint64_t>(caption.start_ms) * 1'000'000,
                            static_cast<uint64_t>(caption.duration_ms) * 1'000'000, caption.text});
    return captions;
}

std::string export_output_stem(const ExportArgs& args, const std::string& stamp) {
    if (args.name)
        return *args.name;
    return (args.kind == ExportKind::evidence ? "evidence_" : "exp_") + stamp;
}

struct ExportJob::State : std::enable_shared_from_this<ExportJob::State> {
    ExportArgs args;
    Prefs prefs;
    bool miles = false;  // the page's unit, for burnt-in speeds
    std::string files_dir;
    std::string stem;
    ExportJobCallbacks callbacks;
    OrderedWorkPool worker{1};
    std::unique_ptr<media::MergeExport> merge;
    std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
    bool reported = false;
    ClipFactsMap clips;

    void report(const Result<ExportJobOutcome>& outcome) {
        if (reported)
            return;
        reported = true;
        if (callbacks.finished)
            callbacks.finished(outcome);
    }
    void start_movie();
    void movie_made(const media::ExportOutcome& outcome);
};

namespace {

struct Completion {
    ExportArgs args;
    Prefs prefs;
    std::string files_dir;
    std::string stem;
    std::string temp_movie;
    media::ExportMode mode;
    ClipFactsMap clips;
    std::shared_ptr<std::atomic<bool>> cancelled;
};

// The records of every piece's span, in order, and the span of each piece.
struct SpanPoints {
    std::vector<std::pair<CameraSpan, std::vector<RoutePoint>>> pieces;
    std::vector<RoutePoint> all;
};

SpanPoints span_points(const Completion& job) {
    SpanPoints out;
    for (const auto& piece : job.args.pieces) {
        const auto found = job.clips.find(piece.clip);
        if (found == job.clips.end())
            continue;
        const auto span = piece_span(piece, found->second);
        if (!span)
            continue;
        auto points = points_in_span(std::span<const ClipRoute>(&found->second.route, 1), *span);
        out.all.insert(out.all.end(), points.begin(), points.end());
        out.pieces.emplace_back(*span, std::move(points));
    }
    return out;
}

Result<ExportJobOutcome> publish_movie(const Completion& job, const SpanPoints& points) {
    auto published = publish_without_overwrite(job.temp_movie, job.files_dir, job.stem, "mov");
    if (!published)
        return published.failure();
    ExportJobOutcome outcome{*published, job.mode, {}, {}};
    const ClipRoute route{clip_name(*published), points.all};
    const RouteOptions options = route_options(job.prefs, job.stem);
    if (exportable_points(std::span<const ClipRoute>(&route, 1), options.utc_offset_minutes,
                          options.clock_correction_s) > 0) {
        if (auto gpx = write_route_beside(*published, RouteFormat::gpx, route, options))
            outcome.gpx = *gpx;
        else
            log_line("export: no GPX beside " + *published + ": " + gpx.error());
    }
    return outcome;
}

// The stamped frame of the event, written into `dir`.
Result<std::string> event_still(const Completion& job, const std::string& dir) {
    const ExportEventArgs& event = *job.args.event;
    GCharPtr uri(g_filename_to_uri(event.clip.c_str(), nullptr, nullptr));
    if (!uri)
        return fail("cannot name " + event.clip + " as a URL");
    auto frame = media::grab_frame(uri.get(), media::exact_frame_position_ns(event.at_ms));
    if (!frame)
        return frame.failure();
    std::optional<media::SnapshotStamp> stamp;
    if (event.stamp)
        stamp = snapshot_stamp_of(*event.stamp);
    const media::StillWriting still = media::still_writing(
        event.clip, stamp, clip_name(event.clip) + "_frame", "CamVault " CAMVAULT_VERSION);
    return media::save_png(media::with_caption_strip(*frame, still.caption), dir, still.stem,
                           still.text);
}

Result<ExportJobOutcome> make_pack(const Completion& job, const SpanPoints& points) {
    WorkFolder work(job.files_dir);
    if (work.path.empty())
        return fail("cannot make a working folder in " + job.files_dir);
    std::vector<media::PackFile> files;
    files.push_back({job.temp_movie, true, job.stem + ".mov"});
    auto still = event_still(job, work.path);
    if (!still)
        return fail("export_frame_failed", {{"error", still.error()}},
                    "The frame of the event could not be saved: " + still.error());
    files.push_back({*still, true, ""});

    const ClipRoute route{job.stem, points.all};
    const RouteOptions options = route_options(job.prefs, job.stem);
    if (exportable_points(std::span<const ClipRoute>(&route, 1), options.utc_offset_minutes,
                          options.clock_correction_s) > 0) {
        for (const auto format : {RouteFormat::gpx, RouteFormat::csv}) {
            const std::string text =
                route_text(format, std::span<const ClipRoute>(&route, 1), options);
            auto written = write_new_file(work.path, job.stem,
                                          std::string(route_format_extension(format)), text);
            if (!written)
                return written.failure();
            files.push_back({*written, true, ""});
        }
        media::RouteMapRequest map;
        for (const auto& point : points.all)
            if (point.latitude != 0 || point.longitude != 0)
                map.route.push_back({point.latitude, point.longitude});
        const ExportEventArgs& event = *job.args.event;
        if (event.stamp && event.stamp->lat && event.stamp->lon) {
            map.event = media::GeoPoint{*event.stamp->lat, *event.stamp->lon};
        } else if (const auto clip = job.clips.find(event.clip);
                   clip != job.clips.end() && clip->second.first_ms) {
            // The record nearest the event's moment.
            const int64_t at = *clip->second.first_ms + event.at_ms;
            int64_t best = -1;
            for (const auto& point : points.all) {
                const auto ms = camera_milliseconds(point.time);
                if (ms && (best < 0 || std::llabs(*ms - at) < best)) {
                    best = std::llabs(*ms - at);
                    map.event = media::GeoPoint{point.latitude, point.longitude};
                }
            }
        }
        const std::string map_path = work.path + "/" + job.stem + "_map.png";
        if (!map.route.empty()) {
            if (auto drawn = media::write_route_map(map_path, map))
                files.push_back({map_path, true, ""});
            else
                return drawn.failure();
        }
    }

    media::PackRequest request;
    request.parent_dir = job.files_dir;
    request.name = job.stem;
    request.files = std::move(files);
    for (const auto& [path, clip] : job.clips)
        if (clip.identity)
            request.sources.push_back(
                {clip_name(path), clip.identity->size, clip.identity->fingerprint});
    request.clock = {job.prefs.clock_correction_s, job.prefs.camera_utc_offset_min};
    auto pack = media::make_evidence_pack(request);
    if (!pack)
        return pack.failure();
    return ExportJobOutcome{pack->folder, job.mode, {}, pack->zip};
}

void remove_outputs(const ExportJobOutcome& outcome) {
    std::error_code ignored;
    for (const auto& path : {outcome.path, outcome.gpx, outcome.zip})
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
}

// The movie's telemetry appended, then published (or packed). Blocking.
Result<ExportJobOutcome> complete(const Completion& job) {
    const SpanPoints points = span_points(job);
    for (const auto& [span, piece_points] : points.pieces) {
        if (piece_points.empty())
            continue;
        if (auto appended = append_movie_telemetry(job.temp_movie, piece_points, span); !appended)
            log_line("export: no telemetry in the movie: " + appended.error());
    }
    if (*job.cancelled) {
        g_unlink(job.temp_movie.c_str());
        return fail("export_cancelled", {}, "The export was cancelled.");
    }
    auto outcome =
        job.args.kind == ExportKind::evidence ? make_pack(job, points) : publish_movie(job, points);
    if (!outcome)
        g_unlink(job.temp_movie.c_str());
    if (outcome && *job.cancelled) {
        remove_outputs(*outcome);
        return fail("export_cancelled", {}, "The export was cancelled.");
    }
    return outcome;
}

}  // namespace

void ExportJob::State::start_movie() {
    std::vector<media::ExportPiece> pieces;
    for (const auto& piece : args.pieces) {
        media::ExportPiece out{piece.clip, static_cast<uint64_t>(piece.from_ms) * 1'000'000,
                               std::nullopt};
        if (piece.to_ms)
            out.outpoint_ns = static_cast<uint64_t>(*piece.to_ms) * 1'000'000;
        pieces.push_back(std::move(out));
    }
    std::weak_ptr<State> weak = shared_from_this();
    media::ExportCallbacks movie_callbacks;
    movie_callbacks.leave_unpublished = true;
    movie_callbacks.progress = [weak](double fraction) {
        if (auto self = weak.lock(); self && self->callbacks.progress)
            self->callbacks.progress(fraction * 0.95);
    };
    movie_callbacks.finished = [weak](const media::ExportOutcome& outcome) {
        if (auto self = weak.lock())
            self->movie_made(outcome);
    };
    media::ExportOptions options;
    if (args.burn_in)
        options.captions = export_captions(args, clips, {prefs.clock_correction_s, miles});
    merge = std::make_unique<media::MergeExport>(std::move(pieces), files_dir, stem,
                                                 std::move(movie_callbacks), std::move(options));
}

void ExportJob::State::movie_made(const media::ExportOutcome& outcome) {
    if (!outcome) {
        report(outcome.failure().key.empty() ? fail("export_failed", {{"error", outcome.error()}},
                                                    "The export failed: " + outcome.error())
                                             : outcome.failure());
        return;
    }
    Completion job{args,          prefs,         files_dir,        stem,
                   outcome->path, outcome->mode, std::move(clips), cancelled};
    std::weak_ptr<State> weak = shared_from_this();
    worker.submit([weak, job = std::move(job)]() -> std::function<void()> {
        auto result = complete(job);
        return [weak, result = std::move(result)] {
            if (auto self = weak.lock()) {
                if (result && self->callbacks.progress)
                    self->callbacks.progress(1.0);
                self->report(result);
            }
        };
    });
}

ExportJob::ExportJob(ExportArgs args, Prefs prefs, bool miles, std::string files_dir,
                     ExportJobCallbacks callbacks)
    : state_(std::make_shared<State>()) {
    State& s = *state_;
    s.miles = miles;
    s.stem = export_output_stem(args, media::export_stamp(media::local_now()));
    s.args = std::move(args);
    s.prefs = std::move(prefs);
    s.files_dir = std::move(files_dir);
    s.callbacks = std::move(callbacks);
    std::weak_ptr<State> weak = state_;
    s.worker.submit([weak, args = s.args]() -> std::function<void()> {
        auto clips = read_clips(args);
        return [weak, clips = std::move(clips)]() mutable {
            auto self = weak.lock();
            if (!self || *self->cancelled)
                return;
            self->clips = std::move(clips);
            self->start_movie();
        };
    });
}

ExportJob::~ExportJob() {
    *state_->cancelled = true;
    state_->merge.reset();  // abandoned: its temporary file goes
    state_->worker.shutdown(std::chrono::seconds(30));
}

void ExportJob::cancel() {
    *state_->cancelled = true;
    state_->merge.reset();
    state_->report(fail("export_cancelled", {}, "The export was cancelled."));
}

bool ExportJob::running() const {
    return !state_->reported;
}

}  // namespace camvault
