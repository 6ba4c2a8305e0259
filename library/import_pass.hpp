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

#include "library/index.hpp"
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

// What the index keeps of a clip whose script file is written (JSON text),
// given what its extraction found (null: the script was adopted as it was);
// empty when nothing can be said.
using ClipSummarizer =
    std::function<std::string(const IndexedClip& clip, const Extraction* extraction)>;

// The library the pass lists into: without an index (tests of the lists
// alone) a clip's script file is its name's, reused whenever it exists.
struct ImportLibrary {
    LibraryIndex* index = nullptr;
    ClipSummarizer summarize;
};

// The name's script file path with "~N" before its final ".data":
// /h/CAMVAULT/data/FILE0001.data, 2 -> /h/CAMVAULT/data/FILE0001~2.data.
std::string numbered_script_path(const std::string& script_path, int n);

// The file work of one pass, in order: paths that do not exist or whose
// extension is not exactly "MOV" or "mov" are skipped; paths that are no
// regular file once symbolic links are followed (a folder, a device, a pipe, a
// broken or looping link) and paths that cannot live in the lists are refused;
// every other path is accepted. With an index: a path already listed is
// refused; a clip whose name and content are known takes its known script
// file without being read again; any other clip gets a script file of its
// own, its name's when that is free or holds this very clip's telemetry,
// else its name's with ~N (and "<name>~N" as the key of its lines); each
// accepted clip is listed in the index as one change.
ImportPassResult run_import_pass(std::string_view home, const std::vector<std::string>& paths,
                                 const std::function<void(const ImportProgress&)>& progress,
                                 const ClipExtractor& extract, const ImportLibrary& library = {});

// Appends the accepted clips to both lists; returns the last accepted path.
std::optional<std::string> apply_import(std::string& data_list, std::string& movie_list,
                                        const ImportPassResult& result);

// Runs import passes (and other library tasks) one at a time on a worker
// thread, in the order they were queued. Progress and results are handed to `post` (which runs them
// on the main thread); they are dropped once the queue is gone.
class ImportQueue {
  public:
    using Post = std::function<void(std::function<void()>)>;
    struct Callbacks {
        std::function<void(const ImportProgress&)> progress;
        std::function<void(ImportPassResult)> finished;
    };

    ImportQueue(std::string home, Post post, ClipExtractor extract, ImportLibrary library = {});
    ~ImportQueue();
    ImportQueue(const ImportQueue&) = delete;
    ImportQueue& operator=(const ImportQueue&) = delete;

    void enqueue(std::vector<std::string> paths, Callbacks callbacks);

    // Other library work that must keep its place among the imports: runs on
    // the worker; what it returns (if anything) then runs on the main thread.
    using Task = std::function<std::function<void()>()>;
    void enqueue_task(Task task);

    struct Shared;  // state the worker thread shares with the queue

  private:
    void push(std::function<void(const Post&)> job);
    std::shared_ptr<Shared> shared_;
};

}  // namespace camvault
