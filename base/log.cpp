// Log sink plumbing; the journal sink lives with the GLib adapters.
#include "base/log.hpp"

#include <cstdio>
#include <mutex>

namespace camvault {
namespace {

std::mutex sink_mutex;

LogSink& current_sink() {
    static LogSink sink = log_to_stderr;
    return sink;
}

}  // namespace

void log_to_stderr(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void log_line(std::string_view line) {
    // Export completion and background imports log from worker threads.
    std::lock_guard lock(sink_mutex);
    current_sink()(line);
}

LogSink set_log_sink(LogSink sink) {
    std::lock_guard lock(sink_mutex);
    LogSink previous = std::move(current_sink());
    current_sink() = sink ? std::move(sink) : LogSink(log_to_stderr);
    return previous;
}

}  // namespace camvault
