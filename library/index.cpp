// The library index on SQLite's C API, every handle owned.
#include "library/index.hpp"

#include <sqlite3.h>

#include <functional>

#include "base/fs/files.hpp"
#include "base/handle.hpp"
#include "library/naming.hpp"

namespace camvault {
namespace {

using Statement = UniqueHandle<sqlite3_stmt, sqlite3_finalize>;

Error db_error(sqlite3* db, const std::string& what) {
    return fail("the library index cannot " + what + ": " + sqlite3_errmsg(db));
}

// Runs SQL text without results.
Status exec(sqlite3* db, const char* sql, const std::string& what) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        return fail("the library index cannot " + what + ": " + text);
    }
    return {};
}

Result<Statement> prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return db_error(db, "read its tables");
    return Statement(raw);
}

void bind(sqlite3_stmt* s, int at, const std::string& text) {
    sqlite3_bind_text(s, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string column_text(sqlite3_stmt* s, int at) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, at));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(s, at))) : "";
}

constexpr const char* kClipColumns =
    "source_path, name, size, mtime_ns, fingerprint, script_path, script_key, summary";

IndexedClip read_clip(sqlite3_stmt* s) {
    IndexedClip clip;
    clip.source_path = column_text(s, 0);
    clip.name = column_text(s, 1);
    clip.size = static_cast<uint64_t>(sqlite3_column_int64(s, 2));
    clip.mtime_ns = sqlite3_column_int64(s, 3);
    clip.fingerprint = column_text(s, 4);
    clip.script_path = column_text(s, 5);
    clip.script_key = column_text(s, 6);
    clip.summary_json = column_text(s, 7);
    return clip;
}

Result<std::vector<IndexedClip>> query_clips(sqlite3* db, const std::string& sql,
                                             const std::vector<std::string>& args) {
    auto statement = prepare(db, sql.c_str());
    if (!statement)
        return statement.failure();
    for (size_t i = 0; i < args.size(); ++i)
        bind(statement->get(), static_cast<int>(i + 1), args[i]);
    std::vector<IndexedClip> clips;
    int step;
    while ((step = sqlite3_step(statement->get())) == SQLITE_ROW)
        clips.push_back(read_clip(statement->get()));
    if (step != SQLITE_DONE)
        return db_error(db, "read its clips");
    return clips;
}

Result<std::optional<IndexedClip>> first_of(Result<std::vector<IndexedClip>> clips) {
    if (!clips)
        return clips.failure();
    if (clips->empty())
        return std::optional<IndexedClip>();
    return std::optional<IndexedClip>(std::move(clips->front()));
}

// Runs `body` inside one transaction: committed when it succeeds, rolled back
// otherwise.
Status in_transaction(sqlite3* db, const std::function<Status()>& body) {
    if (auto begun = exec(db, "BEGIN IMMEDIATE", "start a change"); !begun)
        return begun;
    Status done = body();
    if (!done) {
        (void)exec(db, "ROLLBACK", "undo a change");  // the first failure is what counts
        return done;
    }
    return exec(db, "COMMIT", "save a change");
}

// Each step takes the schema from version N to N + 1.
const char* const kMigrations[] = {
    // 0 -> 1: the clips in listing order.
    "CREATE TABLE clips ("
    " id INTEGER PRIMARY KEY,"
    " source_path TEXT NOT NULL UNIQUE,"
    " name TEXT NOT NULL,"
    " size INTEGER NOT NULL,"
    " mtime_ns INTEGER NOT NULL,"
    " fingerprint TEXT NOT NULL,"
    " script_path TEXT NOT NULL,"
    " script_key TEXT NOT NULL,"
    " summary TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX clips_identity ON clips(name, fingerprint);"
    "CREATE INDEX clips_script ON clips(script_path);",
};
static_assert(std::size(kMigrations) == LibraryIndex::kSchemaVersion);

}  // namespace

LibraryIndex::LibraryIndex(sqlite3* db) : db_(db) {}

LibraryIndex::~LibraryIndex() {
    sqlite3_close_v2(db_);
}

Result<std::unique_ptr<LibraryIndex>> LibraryIndex::open(const std::string& path) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(
        path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    std::unique_ptr<LibraryIndex> index(new LibraryIndex(db));
    if (opened != SQLITE_OK)
        return db_error(db, "open " + path);
    sqlite3_busy_timeout(db, 5000);
    // WAL: readers never wait for a writer, and a crash never leaves half a change.
    if (auto wal =
            exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", "set up " + path);
        !wal)
        return wal.failure();
    if (auto migrated = index->migrate(); !migrated)
        return migrated.failure();
    return index;
}

Status LibraryIndex::migrate() {
    std::lock_guard lock(mutex_);
    auto version_query = prepare(db_, "PRAGMA user_version");
    if (!version_query)
        return version_query.failure();
    if (sqlite3_step(version_query->get()) != SQLITE_ROW)
        return db_error(db_, "read its version");
    const int version = sqlite3_column_int(version_query->get(), 0);
    if (version > kSchemaVersion)
        return fail("the library index was written by a newer CamVault (schema " +
                    std::to_string(version) + ")");
    for (int step = version; step < kSchemaVersion; ++step) {
        const Status migrated = in_transaction(db_, [&]() -> Status {
            if (auto done = exec(db_, kMigrations[step], "update its tables"); !done)
                return done;
            const std::string bump = "PRAGMA user_version=" + std::to_string(step + 1);
            return exec(db_, bump.c_str(), "update its version");
        });
        if (!migrated)
            return migrated;
    }
    return {};
}

Result<std::vector<IndexedClip>> LibraryIndex::listed() {
    std::lock_guard lock(mutex_);
    return query_clips(db_, std::string("SELECT ") + kClipColumns + " FROM clips ORDER BY id", {});
}

Result<std::optional<IndexedClip>> LibraryIndex::by_path(const std::string& source_path) {
    std::lock_guard lock(mutex_);
    return first_of(query_clips(
        db_, std::string("SELECT ") + kClipColumns + " FROM clips WHERE source_path = ?",
        {source_path}));
}

Result<std::optional<IndexedClip>> LibraryIndex::by_identity(const std::string& name,
                                                             const std::string& fingerprint) {
    std::lock_guard lock(mutex_);
    return first_of(query_clips(db_,
                                std::string("SELECT ") + kClipColumns +
                                    " FROM clips WHERE name = ? AND fingerprint = ? ORDER BY id",
                                {name, fingerprint}));
}

Result<bool> LibraryIndex::script_taken(const std::string& script_path) {
    std::lock_guard lock(mutex_);
    auto clips = query_clips(
        db_, std::string("SELECT ") + kClipColumns + " FROM clips WHERE script_path = ? LIMIT 1",
        {script_path});
    if (!clips)
        return clips.failure();
    return !clips->empty();
}

Status LibraryIndex::add(const std::vector<IndexedClip>& clips) {
    std::lock_guard lock(mutex_);
    return in_transaction(db_, [&]() -> Status {
        auto insert = prepare(db_,
                              "INSERT INTO clips (source_path, name, size, mtime_ns, fingerprint,"
                              " script_path, script_key, summary) VALUES (?,?,?,?,?,?,?,?)");
        if (!insert)
            return insert.failure();
        for (const auto& clip : clips) {
            sqlite3_stmt* s = insert->get();
            sqlite3_reset(s);
            bind(s, 1, clip.source_path);
            bind(s, 2, clip.name);
            sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(clip.size));
            sqlite3_bind_int64(s, 4, clip.mtime_ns);
            bind(s, 5, clip.fingerprint);
            bind(s, 6, clip.script_path);
            bind(s, 7, clip.script_key);
            bind(s, 8, clip.summary_json);
            if (sqlite3_step(s) != SQLITE_DONE)
                return db_error(db_, "list " + clip.source_path);
        }
        return {};
    });
}

Status LibraryIndex::set_summary(const std::string& source_path, const std::string& summary_json) {
    std::lock_guard lock(mutex_);
    return in_transaction(db_, [&]() -> Status {
        auto update = prepare(db_, "UPDATE clips SET summary = ? WHERE source_path = ?");
        if (!update)
            return update.failure();
        bind(update->get(), 1, summary_json);
        bind(update->get(), 2, source_path);
        if (sqlite3_step(update->get()) != SQLITE_DONE)
            return db_error(db_, "keep the summary of " + source_path);
        return {};
    });
}

Status LibraryIndex::remove(const std::vector<std::string>& source_paths) {
    std::lock_guard lock(mutex_);
    return in_transaction(db_, [&]() -> Status {
        auto erase = prepare(db_, "DELETE FROM clips WHERE source_path = ?");
        if (!erase)
            return erase.failure();
        for (const auto& path : source_paths) {
            sqlite3_reset(erase->get());
            bind(erase->get(), 1, path);
            if (sqlite3_step(erase->get()) != SQLITE_DONE)
                return db_error(db_, "take " + path + " out");
        }
        return {};
    });
}

Result<std::string> LibraryIndex::integrity_check() {
    std::lock_guard lock(mutex_);
    auto check = prepare(db_, "PRAGMA integrity_check");
    if (!check)
        return check.failure();
    if (sqlite3_step(check->get()) != SQLITE_ROW)
        return db_error(db_, "check itself");
    return column_text(check->get(), 0);
}

Result<std::unique_ptr<LibraryIndex>> open_library_index(std::string_view home) {
    const std::string folder = library_data_dir(home);
    if (auto made = create_directories(folder); !made)
        return made.failure();
    return LibraryIndex::open(folder + "/library.sqlite3");
}

}  // namespace camvault
