// Log lines on stderr and, where a journal runs, in the journal (GLib structured logging).
#include "base/glib/journal_log.hpp"

#include <glib.h>

#include <cstdio>

#include <string>

#include "base/log.hpp"

namespace camvault {

void install_journal_log_sink() {
    // When stderr already goes to the journal, one write serves both.
    const bool stderr_is_journal = g_log_writer_is_journald(fileno(stderr));
    set_log_sink([stderr_is_journal](std::string_view line) {
        log_to_stderr(line);
        if (stderr_is_journal)
            return;
        const std::string message(line);
        const GLogField fields[] = {
            {"MESSAGE", message.c_str(), -1},
            {"SYSLOG_IDENTIFIER", "camvault", -1},
            {"PRIORITY", "6", -1},
        };
        // Without a running journal this fails quietly; the line is on stderr.
        g_log_writer_journald(G_LOG_LEVEL_INFO, fields, G_N_ELEMENTS(fields), nullptr);
    });
}

}  // namespace camvault
