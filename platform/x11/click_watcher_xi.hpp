// Watches mouse button presses anywhere on the X screen (XInput2 raw events,
// which need no grab and so never steal clicks from other applications).
#pragma once

#include <atomic>
#include <thread>

#include "media/desktop.hpp"

namespace camvault::platform {

class XiClickWatcher : public media::ClickWatcher {
  public:
    XiClickWatcher() = default;
    ~XiClickWatcher() override;
    bool start(OnClick on_click, std::string& error) override;
    void stop() override;

  private:
    std::thread thread_;
    int wake_fd_ = -1;  // eventfd that ends the watching thread
};

}  // namespace camvault::platform
