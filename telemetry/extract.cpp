// Extraction of one clip's telemetry into its telemetry script file.
#include "telemetry/extract.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "bridge/js_string.hpp"
#include "telemetry/atomic_file.hpp"
#include "telemetry/clip_reader.hpp"
#include "telemetry/script_text.hpp"
#include "telemetry/stream_scan.hpp"

namespace camvault {

namespace {

// Collects the script text and hands it to the temporary file in large pieces,
// so that a clip full of blocks never needs its whole script in memory.
class ScriptOutput {
  public:
    explicit ScriptOutput(const std::string& clip_name)
        : clip_name_(clip_name), escaped_name_(js_escape(clip_name)) {}

    bool open(const std::string& script_path) {
        if (!file_.open(script_path)) {
            return false;
        }
        text_ = script_header(clip_name_);
        return true;
    }

    bool add(const TelemetryRecord& record) {
        append_record_line(text_, escaped_name_, record);
        ++records_;
        if (text_.size() >= kFlushSize) {
            if (!file_.append(text_))
                return false;
            text_.clear();
        }
        return true;
    }

    ExtractResult finish() {
        if (!file_.append(text_) || !file_.commit()) {
            return {false, file_.error(), records_};
        }
        return {true, "", records_};
    }

    ExtractResult failed() const { return {false, file_.error(), records_}; }

    RecordSink sink() {
        return [this](const TelemetryRecord& r) { return add(r); };
    }

  private:
    static constexpr size_t kFlushSize = 256 * 1024;

    std::string clip_name_;
    std::string escaped_name_;
    std::string text_;
    AtomicFileWriter file_;
    uint64_t records_ = 0;
};

}  // namespace

ExtractResult splitData(std::span<const uint8_t> bytes, const std::string& script_path,
                        const std::string& clip_name) {
    ScriptOutput out(clip_name);
    if (!out.open(script_path)) {
        return out.failed();
    }
    if (scan_window(bytes.data(), bytes.size(), 0, true, out.sink()).stopped) {
        return out.failed();
    }
    return out.finish();
}

ExtractResult extract_clip_file(const std::string& clip_path, const std::string& script_path,
                                const std::string& clip_name, const ExtractProgress& progress) {
    const auto read_error = [&](int errnum) {
        return ExtractResult{false, "cannot read " + clip_path + ": " + std::strerror(errnum), 0};
    };
    const int fd = ::open(clip_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return read_error(errno);
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return read_error(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return read_error(EISDIR);
    }
    const uint64_t total = static_cast<uint64_t>(st.st_size);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    ScriptOutput out(clip_name);
    if (!out.open(script_path)) {
        return out.failed();
    }

    constexpr uint64_t kProgressStep = 16ULL << 20;
    uint64_t done = 0;
    uint64_t reported = 0;
    // The read-ahead thread may not start (thread limit): errors stay values.
    std::unique_ptr<PrefetchingClipReader> started;
    try {
        started = std::make_unique<PrefetchingClipReader>(fd);
    } catch (const std::system_error& e) {
        return read_error(e.code().value());
    }
    PrefetchingClipReader& reader = *started;
    const ChunkSource source = [&]() -> Chunk {
        const Chunk chunk = reader.next();
        done += chunk.size;
        if (progress && ((chunk.size == 0 && !chunk.failed) || done - reported >= kProgressStep)) {
            reported = done;
            progress(done, total);
        }
        return chunk;
    };
    switch (scan_chunks(source, out.sink())) {
        case StreamStatus::read_failed:
            return read_error(reader.error());
        case StreamStatus::stopped:
            return out.failed();
        case StreamStatus::done:
            break;
    }
    return out.finish();
}

}  // namespace camvault
