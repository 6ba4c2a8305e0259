// Zip archives of stored (uncompressed) files: written for evidence packs
// (movies and pictures gain nothing from deflate) and read back to check a
// pack without unpacking it. ZIP64 fields are written only where a size or
// an offset needs them (files of 4 GB or more), so small packs open anywhere.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.hpp"

namespace camvault::media {

struct ZipInput {
    std::string name;  // inside the archive, "folder/file"; a name ending in '/' is a folder
    std::string path;  // the file to store (unused for a folder)
};

// Writes the archive to `zip_path` through a temporary file beside it that is
// renamed into place when whole (a failed write leaves nothing). Files are
// read in chunks: memory stays small whatever their size. Blocking.
Status write_stored_zip(const std::string& zip_path, std::span<const ZipInput> inputs);

struct ZipEntry {
    std::string name;
    uint16_t method = 0;  // 0: stored
    uint32_t crc32 = 0;
    uint64_t size = 0;  // as stored in the archive
    uint64_t unpacked_size = 0;
    uint64_t data_offset = 0;  // where its stored bytes begin in the archive
};

// The entries of the archive's central directory, each with the offset of
// its data (checked to lie inside the file).
Result<std::vector<ZipEntry>> list_zip(const std::string& zip_path);

}  // namespace camvault::media
