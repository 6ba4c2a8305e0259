// The import pass and its queue.
#include "library/import_pass.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "base/fs/files.hpp"
#include "base/fs/syscalls.hpp"
#include "base/fs/temporary.hpp"
#include "library/fingerprint.hpp"
#include "library/import_lists.hpp"
#include "library/naming.hpp"

namespace camvault {

std::string numbered_script_path(const std::string& script_path, int n) {
    constexpr std::string_view kSuffix = ".data";
    const size_t at =
        script_path.ends_with(kSuffix) ? script_path.size() - kSuffix.size() : script_path.size();
    return script_path.substr(0, at) + "~" + std::to_string(n) + script_path.substr(at);
}

namespace {

// True when both files hold the same bytes.
bool same_content(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    if (!first || !second)
        return false;
    std::istreambuf_iterator<char> end;
    return std::equal(std::istreambuf_iterator<char>(first), end,
                      std::istreambuf_iterator<char>(second), end);
}

// The work of one accepted clip: its script file chosen, its telemetry read
// when needed.
class ClipPlacement {
  public:
    ClipPlacement(std::string_view home, const ImportLibrary& library, const ClipExtractor& extract,
                  std::function<void()> progress)
        : home_(home), library_(library), extract_(extract), progress_(std::move(progress)) {}

    // The script file of the clip at `path` (written unless known), or why
    // the clip cannot be listed; `problems` gets what the user should know.
    Result<IndexedClip> place(const std::string& path, const std::string& name,
                              std::vector<Message>& problems) {
        IndexedClip clip;
        clip.source_path = path;
        clip.name = name;
        clip.script_path = telemetry_script_path(home_, path);
        clip.script_key = name;
        if (!library_.index) {
            if (!path_exists(clip.script_path))
                write(clip, problems);
            return clip;
        }
        auto identity = identify_clip(path);
        if (!identity)
            return identity.failure();
        clip.size = identity->size;
        clip.mtime_ns = identity->mtime_ns;
        clip.fingerprint = identity->fingerprint;
        // The same clip somewhere else (a card copied to a folder): its telemetry is known.
        auto known = library_.index->by_identity(name, clip.fingerprint);
        if (!known)
            return known.failure();
        if (*known && path_exists((*known)->script_path)) {
            clip.script_path = (*known)->script_path;
            clip.script_key = (*known)->script_key;
            clip.summary_json = (*known)->summary_json;
            return clip;
        }
        auto taken = library_.index->script_taken(clip.script_path);
        if (!taken)
            return taken.failure();
        if (!*taken && path_exists(clip.script_path)) {
            // A script file of an earlier CamVault, without an index row: this
            // clip's own only when reading the clip gives the same text.
            const std::string fresh = temporary_path_in(library_data_dir(home_));
            IndexedClip check = clip;
            check.script_path = fresh;
            const auto written = write(check, problems);
            if (written && same_content(fresh, clip.script_path)) {
                sys::unlink(fresh.c_str());
                summarize(clip, &*written);
                return clip;
            }
            sys::unlink(fresh.c_str());
            if (!written) {
                // Unreadable (the problem is told): listed without telemetry,
                // never with the other clip's.
                if (auto numbered = number(clip); !numbered)
                    return numbered.failure();
                return clip;
            }
            *taken = true;
        }
        if (*taken) {
            if (auto numbered = number(clip); !numbered)
                return numbered.failure();
        }
        if (const auto written = write(clip, problems))
            summarize(clip, &*written);
        return clip;
    }

  private:
    // Gives the clip the first ~N script file that is neither written nor
    // another clip's, and the key "<name>~N".
    Status number(IndexedClip& clip) {
        for (int n = 2;; ++n) {
            std::string candidate = numbered_script_path(clip.script_path, n);
            auto taken = library_.index->script_taken(candidate);
            if (!taken)
                return taken.failure();
            if (!*taken && !path_exists(candidate)) {
                clip.script_path = std::move(candidate);
                clip.script_key = clip.name + "~" + std::to_string(n);
                return {};
            }
        }
    }

    // What was extracted, or nothing (the problem is told).
    std::optional<Extraction> write(const IndexedClip& clip, std::vector<Message>& problems) {
        auto extracted = extract_(clip.source_path, clip.script_path, clip.script_key,
                                  [&](uint64_t, uint64_t) { progress_(); });
        if (!extracted) {
            problems.push_back(extracted.failure());
            return std::nullopt;
        }
        if (extracted->cut) {
            const std::string limit = std::to_string(kMaxRecordsPerClip);
            problems.push_back(
                fail("telemetry_cut", {{"clip", clip.name}, {"records", limit}},
                     "The telemetry of " + clip.name + " was cut at " + limit + " records."));
        }
        return *extracted;
    }

    void summarize(IndexedClip& clip, const Extraction* extraction) {
        if (library_.summarize)
            clip.summary_json = library_.summarize(clip, extraction);
    }

    std::string home_;
    const ImportLibrary& library_;
    const ClipExtractor& extract_;
    std::function<void()> progress_;
};

}  // namespace

ImportPassResult run_import_pass(std::string_view home, const std::vector<std::string>& paths,
                                 const std::function<void(const ImportProgress&)>& progress,
                                 const ClipExtractor& extract, const ImportLibrary& library) {
    ImportPassResult result;
    std::set<std::string> in_this_pass;
    const size_t total = paths.size();
    for (size_t index = 0; index < total; ++index) {
        const std::string& path = paths[index];
        const std::string name = clip_name(path);
        if (progress)
            progress({index, total, name});
        if (!path_exists(path) || !is_clip_extension(clip_extension(name))) {
            continue;
        }
        // Anything but a regular file could hang whoever opens it (a pipe
        // blocks, a device never ends), the page's video element included.
        if (!is_regular_file(path)) {
            result.refused.push_back(
                {path, Message{"it is not a regular file (a folder, a device, a pipe or a broken "
                               "link)",
                               "refused_not_regular",
                               {{"path", path}}}});
            continue;
        }
        const std::string script_path = telemetry_script_path(home, path);
        // The telemetry entry holds the home folder: it must fit the list too.
        auto reason = unlistable_reason(path);
        if (!reason)
            reason = unlistable_reason(script_path);
        if (reason) {
            result.refused.push_back({path, std::move(*reason)});
            continue;
        }
        if (library.index) {
            auto already = library.index->by_path(path);
            if (!already) {
                result.refused.push_back({path, already.failure()});
                continue;
            }
            if (*already || in_this_pass.count(path)) {
                result.refused.push_back({path, Message{"it is in the library already",
                                                        "refused_already_listed",
                                                        {{"path", path}}}});
                continue;
            }
        }
        ClipPlacement placement(home, library, extract, [&] {
            if (progress)
                progress({index, total, name});
        });
        auto placed = placement.place(path, name, result.problems);
        if (!placed) {
            result.refused.push_back({path, placed.failure()});
            continue;
        }
        // Listed in the index clip by clip: the next clip of this pass sees
        // this one's script file as taken, and a kill in the middle of a long
        // pass keeps what was done.
        if (library.index) {
            if (auto added = library.index->add({*placed}); !added) {
                result.problems.push_back(
                    fail("library_problem", {{"error", added.error()}},
                         "The library folder cannot be used: " + added.error()));
            }
        }
        in_this_pass.insert(path);
        result.accepted.push_back({placed->script_path, path});
    }
    if (progress)
        progress({total, total, {}});
    return result;
}

std::optional<std::string> apply_import(std::string& data_list, std::string& movie_list,
                                        const ImportPassResult& result) {
    std::optional<std::string> last;
    for (const auto& clip : result.accepted) {
        append_clip(data_list, movie_list, clip.script_path, clip.source_path);
        last = clip.source_path;
    }
    return last;
}

struct ImportQueue::Shared {
    std::string home;
    Post post;
    ClipExtractor extract;
    ImportLibrary library;
    std::mutex mutex;
    std::condition_variable wake;
    // Each job runs on the worker and is handed the way to the main thread.
    std::deque<std::function<void(const Post&)>> jobs;
    bool stopping = false;
    std::promise<void> worker_done;
};

namespace {

void run_worker(const std::shared_ptr<ImportQueue::Shared>& shared) {
    while (true) {
        std::function<void(const ImportQueue::Post&)> job;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->stopping || !shared->jobs.empty(); });
            if (shared->stopping)
                break;
            job = std::move(shared->jobs.front());
            shared->jobs.pop_front();
        }
        std::weak_ptr<ImportQueue::Shared> weak = shared;
        const ImportQueue::Post post = [weak](std::function<void()> work) {
            if (auto alive = weak.lock()) {
                alive->post([weak, work = std::move(work)] {
                    // Runs on the main thread, where the queue is destroyed:
                    // once it is, its owner may be gone too.
                    auto still = weak.lock();
                    if (!still)
                        return;
                    {
                        std::lock_guard lock(still->mutex);
                        if (still->stopping)
                            return;
                    }
                    work();
                });
            }
        };
        job(post);
    }
    shared->worker_done.set_value();
}

}  // namespace

ImportQueue::ImportQueue(std::string home, Post post, ClipExtractor extract, ImportLibrary library)
    : shared_(std::make_shared<Shared>()) {
    shared_->home = std::move(home);
    shared_->post = std::move(post);
    shared_->extract = std::move(extract);
    shared_->library = std::move(library);
    std::thread(run_worker, shared_).detach();
}

ImportQueue::~ImportQueue() {
    auto done = shared_->worker_done.get_future();
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->jobs.clear();
    }
    shared_->wake.notify_all();
    // A clip being read finishes in the background; its script file is written
    // atomically, so an exit in the middle leaves no half file behind (only a
    // temporary file, which the next start removes).
    done.wait_for(std::chrono::seconds(2));
}

void ImportQueue::push(std::function<void(const Post&)> job) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->jobs.push_back(std::move(job));
    }
    shared_->wake.notify_one();
}

void ImportQueue::enqueue(std::vector<std::string> paths, Callbacks callbacks) {
    std::weak_ptr<Shared> weak = shared_;
    push([weak, paths = std::move(paths), callbacks = std::move(callbacks)](const Post& post) {
        auto shared = weak.lock();
        if (!shared)
            return;
        using Clock = std::chrono::steady_clock;
        // A few progress reports a second are enough for the page.
        Clock::time_point last_report{};
        size_t last_done = static_cast<size_t>(-1);
        auto report = [&](const ImportProgress& progress) {
            const auto now = Clock::now();
            if (progress.done == last_done && now - last_report < std::chrono::milliseconds(250))
                return;
            last_done = progress.done;
            last_report = now;
            if (callbacks.progress)
                post([cb = callbacks.progress, progress] { cb(progress); });
        };
        auto result =
            run_import_pass(shared->home, paths, report, shared->extract, shared->library);
        if (callbacks.finished) {
            post([cb = callbacks.finished, result = std::move(result)]() mutable {
                cb(std::move(result));
            });
        }
    });
}

void ImportQueue::enqueue_task(Task task) {
    push([task = std::move(task)](const Post& post) {
        if (auto then = task())
            post(std::move(then));
    });
}

}  // namespace camvault
