// The page's export command: pieces of clips made into one movie (copied when
// the clips allow it, else encoded again), the span's telemetry put inside it
// and a GPX file beside it; for an evidence pack, the movie with the stamped
// frame of the event, a map picture and the route files in a sealed folder
// and its zip. The movie is made on GStreamer's threads; reading clips and
// writing files run on a worker; outcomes arrive on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/result.hpp"
#include "bridge/command_args.hpp"
#include "library/prefs.hpp"
#include "media/merge_plan.hpp"

namespace camvault {

struct ExportJobOutcome {
    std::string path;  // the movie, or the pack's folder
    media::ExportMode mode = media::ExportMode::reencoded;
    std::string gpx;  // the GPX file beside the movie; empty without telemetry
    std::string zip;  // an evidence pack's zip
};

struct ExportJobCallbacks {
    std::function<void(double fraction)> progress;
    // Exactly once: the outcome, or why there is none ("export_cancelled"
    // when cancelled).
    std::function<void(const Result<ExportJobOutcome>&)> finished;
};

// The output's name without extension: the page's, else exp_<stamp> (an
// evidence pack: evidence_<stamp>) of the local time `stamp`.
std::string export_output_stem(const ExportArgs& args, const std::string& stamp);

class ExportJob {
  public:
    // Starts at once; `files_dir` receives the output; `miles`: burnt-in
    // speeds in mph. Main thread only.
    ExportJob(ExportArgs args, Prefs prefs, bool miles, std::string files_dir,
              ExportJobCallbacks callbacks);
    // Cancels a running export (without reporting) and waits for its worker.
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    // Stops the export and removes what it wrote; reports "export_cancelled".
    void cancel();
    bool running() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace camvault
