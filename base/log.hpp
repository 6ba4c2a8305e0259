// The system log: one function for every diagnostic line CamVault writes.
// By default a line goes to stderr; the application installs a sink that also
// writes it to the journal. Pure C++ so that every subsystem can log.
#pragma once

#include <functional>
#include <string_view>

namespace camvault {

using LogSink = std::function<void(std::string_view line)>;

// Writes one log line (without a trailing newline) through the current sink.
void log_line(std::string_view line);

// Replaces the sink; returns the previous one so tests can restore it.
LogSink set_log_sink(LogSink sink);

// Writes the line to stderr followed by a newline.
void log_to_stderr(std::string_view line);

}  // namespace camvault
