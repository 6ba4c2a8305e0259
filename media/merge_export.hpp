// One merge export: clips joined end to end on a GES timeline, fitted into
// 1920x1080 and rendered to H.264 + AAC in a QuickTime movie. Runs in the
// background on GStreamer's threads; everything it reports arrives on the
// thread that owns the default main context (the application's main thread).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.hpp"

namespace camvault::media {

// The published movie's path, or why the export failed.
using ExportOutcome = Result<std::string>;

struct ExportCallbacks {
    std::function<void(double fraction)> progress;       // a few times a second
    std::function<void(const ExportOutcome&)> finished;  // exactly once, unless abandoned
};

class MergeExport {
  public:
    // Discovers `clip_paths` (existing files, in order) in the background,
    // builds the timeline from those that are movies and renders it into a
    // temporary file in `output_dir`, published as `stem`.mov (or
    // `stem`-2.mov, ...) on success. Every outcome, a failure to start
    // included, arrives through `finished` from the main loop, never from
    // inside this constructor.
    MergeExport(const std::vector<std::string>& clip_paths, std::string output_dir,
                std::string stem, ExportCallbacks callbacks);
    ~MergeExport();  // abandons a running export: pipeline stopped, temp file removed
    MergeExport(const MergeExport&) = delete;
    MergeExport& operator=(const MergeExport&) = delete;

    bool running() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Initialises GStreamer Editing Services on the calling thread, which must
// be the thread that runs the default main context: GES objects may only be
// used from the thread that initialised it.
void ensure_ges();

}  // namespace camvault::media
