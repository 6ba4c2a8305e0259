// Whether GStreamer's code generator (ORC) may generate code in this process.
// ORC maps the code it generates from a file in the first writable folder of
// XDG_RUNTIME_DIR, HOME, TMPDIR and /tmp. The runtime folder is a memory file
// system; the others lie on disks that fill up, and ORC writing its code into
// a mapped file on a full disk kills the process (SIGBUS) in the middle of an
// export. Without a usable runtime folder ORC runs its plain C code instead.
#pragma once

namespace camvault::media {

// `orc_code` is the ORC_CODE setting already in the environment (a user's
// choice is kept); `runtime_dir` XDG_RUNTIME_DIR, null when unset.
bool orc_needs_plain_code(const char* orc_code, const char* runtime_dir, bool runtime_dir_writable);

}  // namespace camvault::media
