// Routes CamVault's log lines to stderr and to the systemd journal.
#pragma once

namespace camvault {

void install_journal_log_sink();

}  // namespace camvault
