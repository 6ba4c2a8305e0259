// Tells when a disk or a card is mounted or unmounted (GIO's volume monitor),
// so that clips on a card that comes back are shown as available again
// without being imported again.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <vector>

#include "base/glib/gobject_ptr.hpp"

namespace camvault::platform {

class GioMountWatcher {
  public:
    // `changed` runs on the main thread after every mount or unmount.
    explicit GioMountWatcher(std::function<void()> changed);
    GioMountWatcher(const GioMountWatcher&) = delete;
    GioMountWatcher& operator=(const GioMountWatcher&) = delete;

  private:
    static void on_mount(GVolumeMonitor*, GMount*, gpointer self);

    std::function<void()> changed_;
    GObjectPtr<GVolumeMonitor> monitor_;
    std::vector<SignalConnection> connections_;
};

}  // namespace camvault::platform
