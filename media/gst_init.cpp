// Process-wide GStreamer initialisation.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "base/log.hpp"
#include "media/gst_handles.hpp"
#include "media/orc_plan.hpp"

namespace camvault::media {
namespace {

bool writable_folder(const char* path) {
    struct stat info {};
    return path && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(path, W_OK | X_OK) == 0;
}

}  // namespace

void ensure_gstreamer() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Before GStreamer loads ORC, which reads the setting once.
        const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
        if (orc_needs_plain_code(std::getenv("ORC_CODE"), runtime_dir,
                                 writable_folder(runtime_dir))) {
            ::setenv("ORC_CODE", "backup", 0);
            log_line("media: no usable XDG_RUNTIME_DIR, GStreamer runs without generated code");
        }
        gst_init(nullptr, nullptr);
    });
}

}  // namespace camvault::media
