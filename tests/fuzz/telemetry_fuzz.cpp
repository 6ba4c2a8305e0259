// Fuzzes the telemetry scanner and script writer on arbitrary clip bytes: the
// chunked scan must give exactly the reference scan's records, and writing the
// script must neither crash nor read outside the clip.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "telemetry/extract.hpp"
#include "telemetry/script_text.hpp"
#include "telemetry/stream_scan.hpp"

namespace {

const std::string& scratch_script() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string dir =
            std::string(base != nullptr && *base ? base : "/tmp") + "/camvault-fuzz-XXXXXX";
        if (::mkdtemp(dir.data()) == nullptr)
            std::abort();
        return dir + "/clip.data";
    }();
    return path;
}

double double_from(const uint8_t* p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace camvault;
    if (size < 2)
        return 0;
    // The first byte picks the read size, the next up to 8 bytes the clip name.
    const size_t chunk = 1 + data[0] * 3;
    const size_t name_len = std::min<size_t>(data[1] % 9, size - 2);
    const std::string name(reinterpret_cast<const char*>(data + 2), name_len);
    // An exact-size heap copy: any read past the clip's end is caught.
    const size_t clip_size = size - 2 - name_len;
    std::vector<uint8_t> clip(data + 2 + name_len, data + size);

    const std::vector<TelemetryRecord> reference = scan_whole_buffer(clip);
    std::vector<TelemetryRecord> chunked;
    size_t at = 0;
    const auto status = scan_stream(
        [&](uint8_t* buf, size_t capacity) -> ptrdiff_t {
            const size_t n = std::min({chunk, capacity, clip_size - at});
            if (n > 0)
                std::memcpy(buf, clip.data() + at, n);
            at += n;
            return static_cast<ptrdiff_t>(n);
        },
        chunk,
        [&](const TelemetryRecord& r) {
            chunked.push_back(r);
            return true;
        });
    if (status != StreamStatus::done || chunked != reference)
        std::abort();

    const ExtractResult written = splitData(clip, scratch_script(), name);
    if (!written.ok || written.records != reference.size())
        std::abort();

    if (clip_size >= 16) {
        // The label must cope with any double, not only those a record can give.
        const std::string label =
            nicePosition(double_from(clip.data()), double_from(clip.data() + 8));
        if (label.find(',') == std::string::npos)
            std::abort();
    }
    return 0;
}
