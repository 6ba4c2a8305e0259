// A temporary home folder for tests, removed with everything in it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace camvault {

class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "camvault-home-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TemporaryHome() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace camvault
