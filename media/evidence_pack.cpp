// Evidence packs: the folder, its manifest and seal, and the zip beside it.
#include "media/evidence_pack.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <set>

#include "base/fs/atomic_file.hpp"
#include "media/file_digest.hpp"
#include "media/zip_store.hpp"

namespace camvault::media {

namespace {

namespace fs = std::filesystem;

std::string iso_utc_now() {
    const time_t now = std::time(nullptr);
    struct tm tm {};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string base_name(const std::string& path) {
    return fs::path(path).filename().string();
}

// Creates parent/name, or name-2, name-3, ... where neither the folder nor
// its zip exists yet.
Result<std::string> claim_pack_folder(const std::string& parent, const std::string& name) {
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        const std::string candidate =
            parent + "/" + (attempt == 1 ? name : name + "-" + std::to_string(attempt));
        struct stat st {};
        if (::lstat((candidate + ".zip").c_str(), &st) == 0)
            continue;
        if (::mkdir(candidate.c_str(), 0755) == 0)
            return candidate;
        if (errno != EEXIST)
            return file_error("create", candidate, errno);
    }
    return fail("cannot create a pack named " + name + " in " + parent + ": every name is taken");
}

Status place_file(const PackFile& file, const std::string& target) {
    std::error_code ec;
    if (file.move) {
        fs::rename(file.path, target, ec);
        if (!ec)
            return {};
        if (ec != std::errc::cross_device_link)
            return file_error("move", file.path, ec.value());
    }
    fs::copy_file(file.path, target, fs::copy_options::none, ec);
    if (ec)
        return file_error("copy", file.path + " to " + target, ec.value());
    if (file.move && !fs::remove(file.path, ec))
        return file_error("remove", file.path, ec ? ec.value() : ENOENT);
    return {};
}

}  // namespace

Result<PackOutcome> make_evidence_pack(const PackRequest& request) {
    if (!is_pack_file_name(request.name))
        return fail("\"" + request.name + "\" cannot name a pack's folder");
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const auto& file : request.files) {
        const std::string name = file.name.empty() ? base_name(file.path) : file.name;
        if (!is_pack_file_name(name))
            return fail("\"" + name + "\" cannot name a file in a pack");
        if (!seen.insert(name).second)
            return fail("two files of a pack are both named " + name);
        struct stat st {};
        if (::stat(file.path.c_str(), &st) != 0)
            return file_error("read", file.path, errno);
        if (!S_ISREG(st.st_mode))
            return fail("cannot read " + file.path + ": not a regular file");
        names.push_back(name);
    }
    auto folder = claim_pack_folder(request.parent_dir, request.name);
    if (!folder)
        return folder.failure();
    bool moved_any = false;
    const auto give_up = [&](Error error) -> Result<PackOutcome> {
        if (!moved_any) {
            std::error_code ec;
            fs::remove_all(*folder, ec);
        }
        return error;
    };

    PackOutcome outcome;
    outcome.folder = *folder;
    PackManifest& m = outcome.manifest;
    m.name = base_name(*folder);
    m.created = iso_utc_now();
    m.version = CAMVAULT_VERSION;
    m.clock = request.clock;
    m.sources = request.sources;
    for (size_t i = 0; i < request.files.size(); ++i) {
        const std::string target = *folder + "/" + names[i];
        if (const Status placed = place_file(request.files[i], target); !placed)
            return give_up(placed.failure());
        moved_any = moved_any || request.files[i].move;
        auto d = digest_of_file(target);
        if (!d)
            return give_up(d.failure());
        m.files.push_back({names[i], d->size, d->sha256});
    }
    const std::string manifest = manifest_json(m);
    const std::string folder_path = *folder + "/";
    if (const Status w = write_file_atomically(folder_path + std::string(kManifestName), manifest);
        !w)
        return give_up(w.failure());
    if (const Status w = write_file_atomically(folder_path + std::string(kManifestSealName),
                                               manifest_seal(sha256_of_text(manifest)));
        !w)
        return give_up(w.failure());

    std::vector<ZipInput> inputs{{m.name + "/", ""}};
    for (const auto& name : names)
        inputs.push_back({m.name + "/" + name, folder_path + name});
    for (const auto name : {kManifestName, kManifestSealName})
        inputs.push_back({m.name + "/" + std::string(name), folder_path + std::string(name)});
    outcome.zip = *folder + ".zip";
    if (const Status zipped = write_stored_zip(outcome.zip, inputs); !zipped)
        return give_up(zipped.failure());
    return outcome;
}

}  // namespace camvault::media
