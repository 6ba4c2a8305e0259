// A file written whole or not at all: the bytes go to a temporary file beside
// the target, which replaces the target in one rename. Readers (the page) never
// see half a file, and a failed write leaves the old one.
#pragma once

#include <string>
#include <string_view>

#include "base/result.hpp"

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
    // Flushes and closes the temporary file and renames it onto the target.
    bool commit();

    // A message a person can act on, e.g. "cannot write /x/A.data: No space left on device".
    const std::string& error() const { return error_; }

  private:
    bool fail(int errnum);
    void discard();

    std::string target_;
    std::string temp_;
    std::string error_;
    int fd_ = -1;
};

// The whole of `content` written to `path` through AtomicFileWriter.
Status write_file_atomically(const std::string& path, std::string_view content);

}  // namespace camvault
