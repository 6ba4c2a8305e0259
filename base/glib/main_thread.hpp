// Hands work to the application's main thread (the default GLib main context).
#pragma once

#include <functional>

namespace camvault {

// Runs `work` on the main thread: at once when called from it, otherwise as
// soon as the main loop gets to it. Never waits for the work to finish.
void run_on_main_thread(std::function<void()> work);

}  // namespace camvault
