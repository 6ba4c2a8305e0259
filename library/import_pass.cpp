// The import pass and its queue.
#include "library/import_pass.hpp"

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "base/fs/files.hpp"
#include "library/import_lists.hpp"
#include "library/naming.hpp"

namespace camvault {

ImportPassResult run_import_pass(std::string_view home, const std::vector<std::string>& paths,
                                 const std::function<void(const ImportProgress&)>& progress,
                                 const ClipExtractor& extract) {
    ImportPassResult result;
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
        if (!path_exists(script_path)) {
            auto extracted = extract(path, script_path, name, [&](uint64_t, uint64_t) {
                if (progress)
                    progress({index, total, name});
            });
            if (!extracted) {
                result.problems.push_back(extracted.failure());
            } else if (extracted->cut) {
                const std::string limit = std::to_string(kMaxRecordsPerClip);
                result.problems.push_back(
                    fail("telemetry_cut", {{"clip", name}, {"records", limit}},
                         "The telemetry of " + name + " was cut at " + limit + " records."));
            }
        }
        result.accepted.push_back({script_path, path});
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
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::pair<std::vector<std::string>, Callbacks>> passes;
    bool stopping = false;
    std::promise<void> worker_done;
};

namespace {

void run_worker(const std::shared_ptr<ImportQueue::Shared>& shared) {
    using Clock = std::chrono::steady_clock;
    while (true) {
        std::vector<std::string> paths;
        ImportQueue::Callbacks callbacks;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->stopping || !shared->passes.empty(); });
            if (shared->stopping)
                break;
            std::tie(paths, callbacks) = std::move(shared->passes.front());
            shared->passes.pop_front();
        }
        std::weak_ptr<ImportQueue::Shared> weak = shared;
        auto post = [weak](std::function<void()> work) {
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
        // A few progress reports a second are enough for the page.
        Clock::time_point last_report{};
        size_t last_done = static_cast<size_t>(-1);
        auto report = [&](const ImportProgress& progress) {
            const auto now = Clock::now();
            if (progress.done == last_done && now - last_report < std::chrono::milliseconds(250)) {
                return;
            }
            last_done = progress.done;
            last_report = now;
            if (callbacks.progress)
                post([cb = callbacks.progress, progress] { cb(progress); });
        };
        auto result = run_import_pass(shared->home, paths, report, shared->extract);
        if (callbacks.finished) {
            post([cb = callbacks.finished, result = std::move(result)]() mutable {
                cb(std::move(result));
            });
        }
    }
    shared->worker_done.set_value();
}

}  // namespace

ImportQueue::ImportQueue(std::string home, Post post, ClipExtractor extract)
    : shared_(std::make_shared<Shared>()) {
    shared_->home = std::move(home);
    shared_->post = std::move(post);
    shared_->extract = std::move(extract);
    std::thread(run_worker, shared_).detach();
}

ImportQueue::~ImportQueue() {
    auto done = shared_->worker_done.get_future();
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->passes.clear();
    }
    shared_->wake.notify_all();
    // A clip being read finishes in the background; its script file is written
    // atomically, so an exit in the middle leaves no half file behind (only a
    // temporary file, which the next start removes).
    done.wait_for(std::chrono::seconds(2));
}

void ImportQueue::enqueue(std::vector<std::string> paths, Callbacks callbacks) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->passes.emplace_back(std::move(paths), std::move(callbacks));
    }
    shared_->wake.notify_one();
}

}  // namespace camvault
