// The library index: every listed clip with its identity, its telemetry script
// file and what the page is told of it, in SQLite beside the script files
// (data/library.sqlite3). The script files stay what they are; the index is
// beside them, never instead of them. Every change is one transaction, so a
// crash at any moment leaves the index as before or after it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

struct sqlite3;

namespace camvault {

struct IndexedClip {
    std::string source_path;
    std::string name;  // the clip name
    uint64_t size = 0;
    int64_t mtime_ns = 0;
    std::string fingerprint;
    std::string script_path;   // absolute
    std::string script_key;    // the name the script's lines use: the clip name, or name~N
    std::string summary_json;  // what the page is told of the clip; empty when unknown

    bool operator==(const IndexedClip&) const = default;
};

class LibraryIndex {
  public:
    // The schema this code writes; older indexes are migrated on open.
    static constexpr int kSchemaVersion = 1;

    // Opens the index at `path`, creating or migrating it.
    static Result<std::unique_ptr<LibraryIndex>> open(const std::string& path);
    ~LibraryIndex();
    LibraryIndex(const LibraryIndex&) = delete;
    LibraryIndex& operator=(const LibraryIndex&) = delete;

    // The listed clips, in the order they were listed.
    Result<std::vector<IndexedClip>> listed();
    Result<std::optional<IndexedClip>> by_path(const std::string& source_path);
    // A listed clip of this name and content, wherever it lies.
    Result<std::optional<IndexedClip>> by_identity(const std::string& name,
                                                   const std::string& fingerprint);
    // True when a listed clip owns this telemetry script file.
    Result<bool> script_taken(const std::string& script_path);

    // Lists `clips` after the others, all or none.
    Status add(const std::vector<IndexedClip>& clips);
    Status set_summary(const std::string& source_path, const std::string& summary_json);
    // Takes these paths out of the listing, all or none.
    Status remove(const std::vector<std::string>& source_paths);

    // "ok" when SQLite finds the file sound.
    Result<std::string> integrity_check();

  private:
    explicit LibraryIndex(sqlite3* db);
    Status migrate();

    std::mutex mutex_;  // the import worker and the main thread both use the index
    sqlite3* db_;
};

// Opens the index of the library under `home` (home/CAMVAULT/data/library.sqlite3),
// creating its folder when missing.
Result<std::unique_ptr<LibraryIndex>> open_library_index(std::string_view home);

}  // namespace camvault
