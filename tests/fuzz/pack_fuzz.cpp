// Fuzzes what `camvault-media verify` reads from a pack anyone may have
// edited: the zip's central directory and entries (every entry's data must lie
// inside the file), manifest.json (what parses writes back to the same
// manifest, and names only plain files) and the seal line.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "media/evidence_manifest.hpp"
#include "media/zip_store.hpp"

using namespace camvault::media;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto manifest = parse_manifest(text)) {
        for (const auto& f : manifest->files)
            if (!is_pack_file_name(f.name) || !is_sha256_text(f.sha256))
                std::abort();
        const auto again = parse_manifest(manifest_json(*manifest));
        if (!again || !(*again == *manifest))
            std::abort();
    }
    if (auto seal = parse_manifest_seal(text); seal && manifest_seal(*seal) != text)
        std::abort();

    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/pack_fuzz-" + std::to_string(getpid()) +
               ".zip";
    }();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    if (const auto entries = list_zip(path))
        for (const auto& e : *entries)
            if (e.data_offset > size || size - e.data_offset < e.size)
                std::abort();
    return 0;
}
