// One export: pieces of clips (whole clips, a segment of one, a trip of
// several) joined end to end into a QuickTime movie. When every clip is
// 1920x1080 H.264 with the same codec configuration, frame rate and sound,
// and every piece starts on a key frame, the streams are copied as recorded
// (lossless); otherwise the pieces are fitted into 1920x1080 and encoded
// again as H.264 + AAC. Runs in the background on GStreamer's threads;
// everything it reports arrives on the thread that owns the default main
// context (the application's main thread).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "media/merge_plan.hpp"

namespace camvault::media {

struct ExportResult {
    std::string path;  // the published movie
    ExportMode mode = ExportMode::reencoded;
};

// The published movie and how it was made, or why the export failed.
using ExportOutcome = Result<ExportResult>;

struct ExportCallbacks {
    std::function<void(double fraction)> progress;       // a few times a second, never backwards
    std::function<void(const ExportOutcome&)> finished;  // exactly once, unless abandoned
    // The finished movie is left under its temporary name in the output
    // folder (the outcome's path) for the caller to complete and publish.
    bool leave_unpublished = false;
};

// Words written into the picture during a piece: from `at_ns` after the
// piece's first frame, for `duration_ns` (cut to the piece's end).
struct PieceCaption {
    size_t piece = 0;
    uint64_t at_ns = 0;
    uint64_t duration_ns = 0;
    std::string text;
};

struct ExportOptions {
    // Copy the streams when the clips allow it; false encodes whatever they are.
    bool copy_when_possible = true;
    // Burnt in at the bottom of the picture: the movie is encoded again.
    std::vector<PieceCaption> captions;
};

class MergeExport {
  public:
    // Discovers the pieces' clips (existing files) in the background, copies
    // or encodes the pieces in order into a temporary file in `output_dir`,
    // published as `stem`.mov (or `stem`-2.mov, ...) on success. Every
    // outcome, a failure to start included, arrives through `finished` from
    // the main loop, never from inside this constructor.
    MergeExport(std::vector<ExportPiece> pieces, std::string output_dir, std::string stem,
                ExportCallbacks callbacks, ExportOptions options = {});
    // Whole clips, in order.
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
