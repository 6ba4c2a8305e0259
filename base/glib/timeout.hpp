// A one-shot timer on the default main context that is cancelled when its
// owner goes: the callback never runs on an object that is gone.
#pragma once

#include <glib.h>

#include <functional>

namespace camvault {

class OneShotTimer {
  public:
    OneShotTimer() = default;
    ~OneShotTimer() { cancel(); }
    OneShotTimer(const OneShotTimer&) = delete;
    OneShotTimer& operator=(const OneShotTimer&) = delete;

    // Runs `action` once after `milliseconds` on the main loop; a timer still
    // waiting is cancelled first.
    void start(unsigned milliseconds, std::function<void()> action) {
        cancel();
        action_ = std::move(action);
        source_ = g_timeout_add(milliseconds, &OneShotTimer::fire, this);
    }
    void cancel() {
        if (source_)
            g_source_remove(source_);
        source_ = 0;
    }
    bool pending() const { return source_ != 0; }

  private:
    static gboolean fire(gpointer data) {
        auto* self = static_cast<OneShotTimer*>(data);
        self->source_ = 0;
        auto action = std::move(self->action_);
        if (action)
            action();
        return G_SOURCE_REMOVE;
    }
    guint source_ = 0;
    std::function<void()> action_;
};

}  // namespace camvault
