// The import pass: which of a list of paths are clips, extraction of their
// telemetry when their script file is missing, and the queue that runs passes
// one after another off the main thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "telemetry/extract.hpp"

namespace camvault {

struct ImportedClip {
    std::string script_path;  // absolute telemetry script file path
    std::string source_path;
};

struct ImportRefusal {
    std::string path;
    Message reason;  // for a person
};

struct ImportPassResult {
    std::vector<ImportedClip> accepted;  // in the order given
    std::vector<ImportRefusal> refused;
    std::vector<Message> problems;  // accepted clips whose telemetry could not be read or was cut
};

struct ImportProgress {
    size_t done = 0;   // paths finished
    size_t total = 0;  // paths in the pass
    std::string name;  // clip name being read
};

using ClipExtractor =
    std::function<ExtractResult(const std::string& clip_path, const std::string& script_path,
                                const std::string& clip_name, const ExtractProgress& progress)>;

// The file work of one pass, in order: paths that do not exist or whose
// extension is not exactly "MOV" or "mov" are skipped; paths that are no
// regular file once symbolic links are followed (a folder, a device, a pipe, a
// broken or looping link) and paths that cannot live in the lists are refused;
// every other path is accepted, and its telemetry is extracted unless its
// script file exists already.
ImportPassResult run_import_pass(std::string_view home, const std::vector<std::string>& paths,
                                 const std::function<void(const ImportProgress&)>& progress,
                                 const ClipExtractor& extract);

// Appends the accepted clips to both lists; returns the last accepted path.
std::optional<std::string> apply_import(std::string& data_list, std::string& movie_list,
                                        const ImportPassResult& result);

// Runs import passes one at a time on a worker thread, in the order they were
// queued. Progress and results are handed to `post` (which runs them on the
// main thread); they are dropped once the queue is gone.
class ImportQueue {
  public:
    using Post = std::function<void(std::function<void()>)>;
    struct Callbacks {
        std::function<void(const ImportProgress&)> progress;
        std::function<void(ImportPassResult)> finished;
    };

    ImportQueue(std::string home, Post post, ClipExtractor extract);
    ~ImportQueue();
    ImportQueue(const ImportQueue&) = delete;
    ImportQueue& operator=(const ImportQueue&) = delete;

    void enqueue(std::vector<std::string> paths, Callbacks callbacks);

    struct Shared;  // state the worker thread shares with the queue

  private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace camvault
