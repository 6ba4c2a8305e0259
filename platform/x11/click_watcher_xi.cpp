// XInput2 raw button presses on the root window, read by a thread with its
// own X connection; the pointer position is asked for at each press.
#include "platform/x11/click_watcher_xi.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <memory>

namespace camvault::platform {
namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Buttons 4 to 7 are wheel steps, not clicks.
bool is_click_button(int detail) {
    return detail >= 1 && detail <= 3;
}

void watch(DisplayPtr display, int xi_opcode, int wake_fd, media::ClickWatcher::OnClick on_click) {
    Display* d = display.get();
    const Window root = DefaultRootWindow(d);
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wake_fd, POLLIN, 0}};
    while (true) {
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            XGenericEventCookie* cookie = &event.xcookie;
            if (cookie->type != GenericEvent || cookie->extension != xi_opcode ||
                !XGetEventData(d, cookie))
                continue;
            if (cookie->evtype == XI_RawButtonPress) {
                const auto* raw = static_cast<XIRawEvent*>(cookie->data);
                Window root_back, child;
                int root_x = 0, root_y = 0, win_x = 0, win_y = 0;
                unsigned int mask = 0;
                if (is_click_button(raw->detail) &&
                    XQueryPointer(d, root, &root_back, &child, &root_x, &root_y, &win_x, &win_y,
                                  &mask))
                    on_click(root_x, root_y);
            }
            XFreeEventData(d, cookie);
        }
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents & POLLIN)
            return;
    }
}

}  // namespace

XiClickWatcher::~XiClickWatcher() {
    stop();
}

bool XiClickWatcher::start(OnClick on_click, std::string& error) {
    stop();
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        error = "no X display to watch clicks on";
        return false;
    }
    int opcode = 0, first_event = 0, first_error = 0;
    int major = 2, minor = 0;
    if (!XQueryExtension(display.get(), "XInputExtension", &opcode, &first_event, &first_error) ||
        XIQueryVersion(display.get(), &major, &minor) != Success) {
        error = "the X server has no XInput2";
        return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(display.get(), DefaultRootWindow(display.get()), &mask, 1);
    XFlush(display.get());
    wake_fd_ = eventfd(0, EFD_CLOEXEC);
    if (wake_fd_ < 0) {
        error = "cannot create a wake-up descriptor";
        return false;
    }
    thread_ = std::thread(watch, std::move(display), opcode, wake_fd_, std::move(on_click));
    return true;
}

void XiClickWatcher::stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!write(wake_fd_, &one, sizeof one);
        thread_.join();
    }
    if (wake_fd_ >= 0)
        close(wake_fd_);
    wake_fd_ = -1;
}

}  // namespace camvault::platform
