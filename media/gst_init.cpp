// Process-wide GStreamer initialisation.
#include <mutex>

#include "media/gst_handles.hpp"

namespace camvault::media {

void ensure_gstreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

}  // namespace camvault::media
