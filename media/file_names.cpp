// Time stamps of snapshots, exports and recordings.
#include "media/file_names.hpp"

namespace camvault::media {
namespace {

std::string format_tm(const char* pattern, const std::tm& local) {
    char buffer[64];
    const size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
    return std::string(buffer, n);
}

}  // namespace

// %Y is the calendar year and %d the day of the month (the week-based %G and
// day-of-year %j are what went wrong before).
std::string snapshot_stamp(const std::tm& local) {
    return format_tm("%Y_%m%d_%H%M%S", local);
}
std::string export_stamp(const std::tm& local) {
    return format_tm("%Y%m%d_%H%M%S", local);
}
std::string recording_stamp(const std::tm& local) {
    return format_tm("%Y%m%d%H%M%S", local);
}

std::tm local_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

}  // namespace camvault::media
