// Checking an evidence pack, its folder or its zip, against its manifest.
#include "media/evidence_verify.hpp"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "base/fs/unique_fd.hpp"
#include "base/glib/gobject_ptr.hpp"
#include "media/evidence_manifest.hpp"
#include "media/file_digest.hpp"
#include "media/zip_store.hpp"

namespace camvault::media {

namespace {

namespace fs = std::filesystem;

constexpr size_t kChunk = 1 << 20;
// manifest.json and its seal are read whole; a pack's manifest is a few KB.
constexpr uint64_t kLargestManifest = 16 << 20;

// What a pack holds, folder or zip, by the names inside it.
class PackContents {
  public:
    virtual ~PackContents() = default;
    // Every file's name (folders left out).
    virtual std::vector<std::string> names() const = 0;
    // What a pack never holds, with why: a folder inside the pack's folder; a
    // zip entry outside the pack's folder or a name the zip holds twice (only
    // one of the two would be hashed).
    virtual std::vector<PackProblem> strays() const = 0;
    virtual Result<FileDigest> digest(const std::string& name) const = 0;
    virtual Result<std::string> text(const std::string& name) const = 0;
};

class FolderContents : public PackContents {
  public:
    explicit FolderContents(std::string folder) : folder_(std::move(folder)) {}
    std::vector<std::string> names() const override {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder_, ec))
            if (!entry.is_directory(ec))
                names.push_back(entry.path().filename().string());
        return names;
    }
    std::vector<PackProblem> strays() const override {
        std::vector<PackProblem> strays;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder_, ec))
            if (entry.is_directory(ec))
                strays.push_back({entry.path().filename().string() + "/", "not in the manifest"});
        return strays;
    }
    Result<FileDigest> digest(const std::string& name) const override {
        return digest_of_file(folder_ + "/" + name);
    }
    Result<std::string> text(const std::string& name) const override {
        const std::string path = folder_ + "/" + name;
        std::error_code ec;
        const auto size = fs::file_size(path, ec);
        if (ec)
            return file_error("read", path, ec.value());
        if (size > kLargestManifest)
            return fail(path + " is too large for a manifest");
        GCharPtr contents;
        gsize length = 0;
        gchar* raw = nullptr;
        if (!g_file_get_contents(path.c_str(), &raw, &length, nullptr))
            return file_error("read", path, EIO);
        contents.reset(raw);
        return std::string(raw, length);
    }

  private:
    std::string folder_;
};

class ZipContents : public PackContents {
  public:
    ZipContents(std::string zip, std::string prefix, std::vector<ZipEntry> entries)
        : zip_(std::move(zip)), prefix_(std::move(prefix)) {
        for (auto& e : entries) {
            if (e.name == prefix_)
                continue;  // the folder's own entry
            if (e.name.size() <= prefix_.size() ||
                e.name.compare(0, prefix_.size(), prefix_) != 0 || e.name.back() == '/') {
                strays_.push_back({e.name, "in the zip but outside the pack's folder"});
                continue;
            }
            std::string name = e.name.substr(prefix_.size());
            if (entries_.count(name) != 0)
                strays_.push_back({name, "in the zip twice"});
            else
                entries_.emplace(std::move(name), std::move(e));
        }
    }
    std::vector<PackProblem> strays() const override { return strays_; }
    std::vector<std::string> names() const override {
        std::vector<std::string> names;
        for (const auto& [name, entry] : entries_)
            names.push_back(name);
        return names;
    }
    Result<FileDigest> digest(const std::string& name) const override {
        return read_entry(name, nullptr);
    }
    Result<std::string> text(const std::string& name) const override {
        const auto it = entries_.find(name);
        if (it != entries_.end() && it->second.unpacked_size > kLargestManifest)
            return fail(prefix_ + name + " in " + zip_ + " is too large for a manifest");
        std::string out;
        if (auto d = read_entry(name, &out); !d)
            return d.failure();
        return out;
    }

  private:
    // Hashes the entry's bytes as unpacked, also keeping them in `keep`.
    Result<FileDigest> read_entry(const std::string& name, std::string* keep) const {
        const std::string what = zip_ + ": " + prefix_ + name;
        const auto it = entries_.find(name);
        if (it == entries_.end())
            return file_error("read", what, ENOENT);
        const ZipEntry& e = it->second;
        if (e.method != 0 && e.method != Z_DEFLATED)
            return fail(prefix_ + name + " in " + zip_ +
                        " is packed in a way CamVault cannot read");
        const int fd = ::open(zip_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return file_error("read", zip_, errno);
        const UniqueFd closer(fd);
        uint64_t at = e.data_offset;
        const uint64_t end = e.data_offset + e.size;
        const auto raw = [&](uint8_t* buf, size_t size) -> ptrdiff_t {
            const auto n = static_cast<size_t>(std::min<uint64_t>(size, end - at));
            if (n == 0)
                return 0;
            ssize_t got;
            do
                got = ::pread(fd, buf, n, static_cast<off_t>(at));
            while (got < 0 && errno == EINTR);
            if (got <= 0)
                return got < 0 ? -errno : -EIO;
            at += static_cast<uint64_t>(got);
            return got;
        };
        const auto kept = [keep](ptrdiff_t n, const uint8_t* buf) {
            if (keep != nullptr && n > 0)
                keep->append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
            return n;
        };
        if (e.method == 0)
            return digest_of([&](uint8_t* buf, size_t size) { return kept(raw(buf, size), buf); },
                             what);
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return fail("cannot unpack " + what);
        struct Ender {
            z_stream* z;
            ~Ender() { inflateEnd(z); }
        } ender{&z};
        std::vector<uint8_t> in(kChunk);
        bool finished = false;
        const auto inflated = [&](uint8_t* buf, size_t size) -> ptrdiff_t {
            z.next_out = buf;
            z.avail_out = static_cast<uInt>(size);
            while (!finished && z.avail_out == size) {
                if (z.avail_in == 0) {
                    const ptrdiff_t n = raw(in.data(), in.size());
                    if (n <= 0)
                        return n < 0 ? n : -EIO;  // the deflate stream ends early
                    z.next_in = in.data();
                    z.avail_in = static_cast<uInt>(n);
                }
                const int r = inflate(&z, Z_NO_FLUSH);
                if (r == Z_STREAM_END)
                    finished = true;
                else if (r != Z_OK)
                    return -EIO;
            }
            return static_cast<ptrdiff_t>(size - z.avail_out);
        };
        return digest_of([&](uint8_t* buf, size_t size) { return kept(inflated(buf, size), buf); },
                         what);
    }

    std::string zip_;
    std::string prefix_;
    std::map<std::string, ZipEntry> entries_;
    std::vector<PackProblem> strays_;
};

bool ends_with(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

Result<std::unique_ptr<PackContents>> open_pack(const std::string& pack) {
    struct stat st {};
    if (::stat(pack.c_str(), &st) != 0)
        return file_error("read", pack, errno);
    if (S_ISDIR(st.st_mode))
        return std::unique_ptr<PackContents>(std::make_unique<FolderContents>(pack));
    auto entries = list_zip(pack);
    if (!entries)
        return entries.failure();
    // The folder inside: where manifest.json lies ("" when at the top).
    std::string prefix;
    bool found = false;
    for (const auto& e : *entries) {
        if (e.name == kManifestName || ends_with(e.name, "/" + std::string(kManifestName))) {
            const std::string candidate = e.name.substr(0, e.name.size() - kManifestName.size());
            if (candidate.find('/') == candidate.size() - 1 || candidate.empty()) {
                prefix = candidate;
                found = true;
                break;
            }
        }
    }
    if (!found)
        prefix = (!entries->empty() && entries->front().name.back() == '/') ? entries->front().name
                                                                            : std::string();
    return std::unique_ptr<PackContents>(
        std::make_unique<ZipContents>(pack, prefix, std::move(*entries)));
}

}  // namespace

Result<PackCheck> verify_evidence_pack(const std::string& pack) {
    auto opened = open_pack(pack);
    if (!opened)
        return opened.failure();
    const PackContents& contents = **opened;
    PackCheck check;
    std::set<std::string> present;
    for (auto& name : contents.names())
        present.insert(std::move(name));
    const std::string manifest_name(kManifestName);
    const std::string seal_name(kManifestSealName);

    std::optional<std::string> sealed_hash;
    if (!present.count(seal_name)) {
        check.problems.push_back({seal_name, "missing"});
    } else if (auto seal = contents.text(seal_name); !seal) {
        check.problems.push_back({seal_name, "unreadable: " + seal.error()});
    } else if (auto hash = parse_manifest_seal(*seal); !hash) {
        check.problems.push_back({seal_name, "changed: no longer a sha256sum line"});
    } else {
        sealed_hash = *hash;
    }
    if (!present.count(manifest_name)) {
        check.problems.push_back({manifest_name, "missing"});
        return check;
    }
    auto manifest_text = contents.text(manifest_name);
    if (!manifest_text) {
        check.problems.push_back({manifest_name, "unreadable: " + manifest_text.error()});
        return check;
    }
    if (sealed_hash && *sealed_hash != sha256_of_text(*manifest_text))
        // One hash cannot tell which of the two was altered: both are named.
        check.problems.push_back(
            {manifest_name, "changed, or " + seal_name + " did: they no longer match"});
    auto manifest = parse_manifest(*manifest_text);
    if (!manifest) {
        check.problems.push_back({manifest_name, "changed: " + manifest.error()});
        return check;
    }
    std::set<std::string> listed{manifest_name, seal_name};
    for (const auto& entry : manifest->files) {
        listed.insert(entry.name);
        if (!present.count(entry.name)) {
            check.problems.push_back({entry.name, "missing"});
            continue;
        }
        auto d = contents.digest(entry.name);
        if (!d)
            check.problems.push_back({entry.name, "unreadable: " + d.error()});
        else if (d->size != entry.size || d->sha256 != entry.sha256)
            check.problems.push_back({entry.name, "changed"});
        else
            ++check.files_matched;
    }
    for (const auto& name : present)
        if (!listed.count(name))
            check.problems.push_back({name, "not in the manifest"});
    for (auto& stray : contents.strays())
        check.problems.push_back(std::move(stray));
    return check;
}

}  // namespace camvault::media
