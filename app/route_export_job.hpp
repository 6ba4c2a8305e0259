// The page's "Export route": the clips' telemetry read again from the clips
// (so the file has the full precision, not the page's rounded figures), written
// as a route file under a free name in the files folder, off the main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "bridge/command_args.hpp"
#include "library/prefs.hpp"
#include "telemetry/route_export.hpp"

namespace camvault {

struct RouteExportRequest {
    std::vector<std::string> clips;
    RouteFormat format = RouteFormat::gpx;
    SpeedUnit csv_speed = SpeedUnit::kmh;
    // From the page's settings (settings.json): UTC = recorded time +
    // clock_correction_s - utc_offset_minutes.
    int utc_offset_minutes = 0;
    int64_t clock_correction_s = 0;
};

// The request an export_route command's arguments make, with the clock
// settings of `prefs`.
RouteExportRequest route_export_request(const ExportRouteArgs& args, const Prefs& prefs);

// Reads the clips, writes the route file into `files_dir` as "<first clip's
// stem>.<format>" or the next free name ("-2", "-3", ...; nothing is ever
// replaced) and returns its path. Fails when a clip cannot be read or none
// holds a position.
Result<std::string> export_route_file(const RouteExportRequest& request,
                                      const std::string& files_dir);

// Runs export_route_file on threads of its own; each outcome is handed to
// `post` (which runs it on the main thread) unless the exporter is gone by then.
class RouteExporter {
  public:
    using Post = std::function<void(std::function<void()>)>;
    using Done = std::function<void(Result<std::string>)>;

    RouteExporter(std::string files_dir, Post post);
    // Waits for the exports still running (each takes about as long as an import).
    ~RouteExporter();
    RouteExporter(const RouteExporter&) = delete;
    RouteExporter& operator=(const RouteExporter&) = delete;

    void start(RouteExportRequest request, Done done);

    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace camvault
