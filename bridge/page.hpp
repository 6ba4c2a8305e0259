// The one path for script calls into the page.
#pragma once

#include <string>

namespace camvault {

// Evaluates script text in the page. Implementations queue calls made before
// the page has finished loading. Call from the main thread only; work on other
// threads hands its calls over with run_on_main_thread first.
class PageCaller {
  public:
    virtual ~PageCaller() = default;
    virtual void call(const std::string& script) = 0;
};

}  // namespace camvault
