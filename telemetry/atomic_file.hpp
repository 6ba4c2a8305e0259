// A file written whole or not at all: the text goes to a temporary file beside
// the target, which replaces the target in one rename. Readers (the page) never
// see half a telemetry script, and a failed extraction leaves the old file.
#pragma once

#include <string>
#include <string_view>

namespace camvault {

class AtomicFileWriter {
  public:
    AtomicFileWriter() = default;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    // Removes the temporary file unless commit() succeeded.
    ~AtomicFileWriter();

    // Creates the temporary file in the target's folder. False with error() set
    // when that folder cannot be written.
    bool open(const std::string& target);
    bool append(std::string_view bytes);
    // Closes the temporary file and renames it onto the target.
    bool commit();

    // A message a person can act on, e.g. "cannot write /x/A.data: No space left on device".
    const std::string& error() const { return error_; }

  private:
    bool fail(const std::string& what, int errnum);
    void discard();

    std::string target_;
    std::string temp_;
    std::string error_;
    int fd_ = -1;
};

// Removes the temporary files that writers of processes no longer running
// left in `folder` (a process killed in the middle of a write).
void remove_abandoned_temporary_files(const std::string& folder);

}  // namespace camvault
