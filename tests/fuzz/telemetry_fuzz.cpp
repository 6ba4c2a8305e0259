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
#include "telemetry/segmented_scan.hpp"

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
    if (size < 3)
        return 0;
    // The first bytes pick the segment and read sizes, then up to 8 bytes the clip name.
    SegmentedScanOptions options;
    options.segment_size = 1 + data[0] * 5;
    options.piece_size = 1 + data[1] * 3;
    options.workers = 0;  // deterministic: the threaded path has its own tests
    const size_t name_len = std::min<size_t>(data[2] % 9, size - 3);
    const std::string name(reinterpret_cast<const char*>(data + 3), name_len);
    // An exact-size heap copy: any read past the clip's end is caught.
    const std::vector<uint8_t> clip(data + 3 + name_len, data + size);

    const std::vector<TelemetryRecord> reference = scan_whole_buffer(clip);
    std::vector<TelemetryRecord> segmented;
    const PositionalReader read = [&](uint8_t* buf, size_t n, uint64_t offset) -> ptrdiff_t {
        if (offset >= clip.size())
            return 0;
        n = std::min<uint64_t>(n, clip.size() - offset);
        std::memcpy(buf, clip.data() + offset, n);
        return static_cast<ptrdiff_t>(n);
    };
    const auto result = scan_segments(
        read, clip.size(),
        [&](const TelemetryRecord& r) {
            segmented.push_back(r);
            return true;
        },
        options);
    if (result.status != ScanStatus::done || segmented != reference)
        std::abort();

    // Blocks that carry another layout's signature are that layout's (the
    // layout fuzz target holds those); every other clip keeps the reference's records.
    const ExtractResult written = splitData(clip, scratch_script(), name);
    const bool original_only =
        written && (written->layouts & ~layout_bit(TelemetryLayout::nextbase_block)) == 0;
    const uint64_t expected = std::min<uint64_t>(reference.size(), kMaxRecordsPerClip);
    if (!written || (original_only && written->records != expected))
        std::abort();

    if (clip.size() >= 16) {
        // The label must cope with any double, not only those a record can give.
        const std::string label =
            nicePosition(double_from(clip.data()), double_from(clip.data() + 8));
        if (label.find(',') == std::string::npos)
            std::abort();
    }
    return 0;
}
