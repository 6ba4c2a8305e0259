// Temporary names and their sweep.
#include "base/fs/temporary.hpp"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "base/fs/syscalls.hpp"

namespace camvault {
namespace {

constexpr std::string_view kPrefix = ".camvault-";
constexpr std::string_view kSuffix = ".part";
constexpr pid_t kMaxPid = 4194304;  // PID_MAX_LIMIT on Linux

// The decimal number at the start of `text`, with how many digits it took;
// 0 digits when there is none or it exceeds any pid.
std::pair<pid_t, size_t> leading_pid(std::string_view text) {
    pid_t pid = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        pid = pid * 10 + (text[i] - '0');
        if (pid > kMaxPid)
            return {0, 0};
    }
    return {pid, i};
}

// "<pid>-<digits>" at the start of `text`, followed by `tail` exactly, or by
// anything when `tail` is null.
pid_t pid_counter(std::string_view text, const std::string_view* tail) {
    auto [pid, digits] = leading_pid(text);
    if (digits == 0 || digits >= text.size() || text[digits] != '-')
        return 0;
    text.remove_prefix(digits + 1);
    auto [counter, counter_digits] = leading_pid(text);
    (void)counter;
    if (counter_digits == 0)
        return 0;
    text.remove_prefix(counter_digits);
    if (tail && text != *tail)
        return 0;
    if (!tail && !text.empty() && text.front() != '.')
        return 0;
    return pid;
}

}  // namespace

std::string temporary_path_in(std::string_view folder) {
    static std::atomic<unsigned> counter{0};
    std::string path(folder);
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += kPrefix;
    path += std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    path += kSuffix;
    return path;
}

pid_t temporary_writer(std::string_view name) {
    if (name.starts_with(kPrefix))
        return pid_counter(name.substr(kPrefix.size()), &kSuffix);
    if (name.size() < 2 || name.front() != '.')
        return 0;
    // Earlier versions: ".A.data.tmp-<pid>-<n>" and ".stem.part-<pid>-<n>.ext".
    static constexpr std::string_view kNothing;
    if (const size_t mark = name.rfind(".tmp-"); mark != std::string_view::npos && mark > 0)
        return pid_counter(name.substr(mark + 5), &kNothing);
    if (const size_t mark = name.rfind(".part-"); mark != std::string_view::npos && mark > 0)
        return pid_counter(name.substr(mark + 6), nullptr);
    return 0;
}

int sweep_abandoned_temporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t pid = temporary_writer(entry->d_name);
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) {
            const std::string path = folder + "/" + entry->d_name;
            if (sys::unlink(path.c_str()) == 0)
                ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

}  // namespace camvault
