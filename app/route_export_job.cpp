// The page's "Export route", off the main thread.
#include "app/route_export_job.hpp"

#include <atomic>
#include <mutex>
#include <thread>

#include "base/fs/unique_names.hpp"
#include "library/naming.hpp"
#include "telemetry/extract.hpp"

namespace camvault {

RouteExportRequest route_export_request(const ExportRouteArgs& args, const Prefs& prefs) {
    RouteExportRequest request;
    request.clips = args.clips;
    request.format = route_format_named(args.format).value_or(RouteFormat::gpx);
    request.csv_speed = args.speed_unit == "mph" ? SpeedUnit::mph : SpeedUnit::kmh;
    request.utc_offset_minutes = prefs.camera_utc_offset_min;
    request.clock_correction_s = prefs.clock_correction_s;
    return request;
}

Result<std::string> export_route_file(const RouteExportRequest& request,
                                      const std::string& files_dir) {
    std::vector<ClipRoute> routes;
    for (const auto& clip : request.clips) {
        auto route = read_clip_route(clip, clip_name(clip));
        if (!route)
            return fail(route.error());
        routes.push_back(std::move(*route));
    }
    if (routes.empty() ||
        exportable_points(routes, request.utc_offset_minutes, request.clock_correction_s) == 0)
        return fail("no position in the telemetry of " +
                    (routes.empty() ? std::string("no clip") : routes.front().name));
    sort_by_clock(routes, request.utc_offset_minutes, request.clock_correction_s);
    RouteOptions options;
    options.utc_offset_minutes = request.utc_offset_minutes;
    options.clock_correction_s = request.clock_correction_s;
    options.csv_speed = request.csv_speed;
    options.creator = "CamVault " CAMVAULT_VERSION;
    options.title = routes.size() == 1 ? routes.front().name
                                       : routes.front().name + " to " + routes.back().name;
    const std::string& first = routes.front().name;
    const size_t dot = first.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? first : first.substr(0, dot);
    return write_new_file(files_dir, stem, route_format_extension(request.format),
                          route_text(request.format, routes, options));
}

struct RouteExporter::Shared {
    std::string files_dir;
    Post post;
    std::mutex mutex;
    bool alive = true;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::vector<Worker> workers;
};

RouteExporter::RouteExporter(std::string files_dir, Post post)
    : shared_(std::make_shared<Shared>()) {
    shared_->files_dir = std::move(files_dir);
    shared_->post = std::move(post);
}

RouteExporter::~RouteExporter() {
    std::vector<Shared::Worker> workers;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->alive = false;
        workers.swap(shared_->workers);
    }
    for (auto& worker : workers)
        worker.thread.join();
}

void RouteExporter::start(RouteExportRequest request, Done done) {
    std::weak_ptr<Shared> weak = shared_;
    std::lock_guard lock(shared_->mutex);
    // Threads of exports that ended are joined here rather than piling up.
    std::erase_if(shared_->workers, [](Shared::Worker& worker) {
        if (!*worker.finished)
            return false;
        worker.thread.join();
        return true;
    });
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([weak, finished, request = std::move(request), done = std::move(done),
                        files_dir = shared_->files_dir, post = shared_->post] {
        auto outcome = export_route_file(request, files_dir);
        post([weak, done, outcome = std::move(outcome)]() mutable {
            // Runs on the main thread, where the exporter is destroyed.
            auto shared = weak.lock();
            if (!shared)
                return;
            {
                std::lock_guard lock(shared->mutex);
                if (!shared->alive)
                    return;
            }
            done(std::move(outcome));
        });
        *finished = true;
    });
    shared_->workers.push_back({std::move(thread), std::move(finished)});
}

}  // namespace camvault
