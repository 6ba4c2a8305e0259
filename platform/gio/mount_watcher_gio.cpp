// Mount changes from GIO's volume monitor.
#include "platform/gio/mount_watcher_gio.hpp"

namespace camvault::platform {

GioMountWatcher::GioMountWatcher(std::function<void()> changed)
    : changed_(std::move(changed)), monitor_(g_volume_monitor_get()) {
    for (const char* signal : {"mount-added", "mount-removed", "mount-changed"})
        connections_.push_back(connect_signal(monitor_.get(), signal, on_mount, this));
}

void GioMountWatcher::on_mount(GVolumeMonitor*, GMount*, gpointer self) {
    auto* watcher = static_cast<GioMountWatcher*>(self);
    if (watcher->changed_)
        watcher->changed_();
}

}  // namespace camvault::platform
