// Test helper: runs a shell command and collects its exit status and output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/support/temp_folder.hpp"

namespace camvault::testing {

struct CommandResult {
    int status = -1;  // exit status, or -1 when the command did not exit normally
    std::string out;
    std::string err;
};

inline std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline CommandResult run_command(const std::string& command) {
    TempFolder scratch;
    const std::string err_path = scratch / "stderr";
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>" + quoted(err_path)).c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        result.out.append(buf, n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.err = read_text(err_path);
    return result;
}

}  // namespace camvault::testing
