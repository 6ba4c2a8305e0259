// The file layer: atomic writes, never-overwrite publishing and the sweep of
// abandoned temporary files, with system-call failures injected through the
// seam.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "base/fs/atomic_file.hpp"
#include "base/fs/files.hpp"
#include "base/fs/syscalls.hpp"
#include "base/fs/temporary.hpp"
#include "base/fs/unique_names.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

using testing::names_in;
using testing::read_text;
using testing::TempFolder;
using testing::write_text;

// A table whose `which` call fails with `error`; every other call is real.
sys::SyscallTable failing(const std::string& which, int error) {
    auto t = sys::real_syscalls();
    auto fail_int = [error](auto&&...) {
        errno = error;
        return -1;
    };
    if (which == "fsync")
        t.fsync = fail_int;
    if (which == "close")
        t.close = [error](int fd) {
            ::close(fd);  // the descriptor is gone either way, as with NFS
            errno = error;
            return -1;
        };
    if (which == "rename")
        t.rename = fail_int;
    if (which == "rename_noreplace")
        t.rename_noreplace = fail_int;
    if (which == "link")
        t.link = fail_int;
    if (which == "write")
        t.write = [error](int, const void*, size_t) -> ssize_t {
            errno = error;
            return -1;
        };
    return t;
}

pid_t finished_process() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST(AtomicFile, ReplacesWholeAndLeavesNoTemporary) {
    TempFolder dir;
    const auto path = dir / "ini.txt";
    ASSERT_TRUE(write_file_atomically(path, "first version, longer"));
    ASSERT_TRUE(write_file_atomically(path, "second"));
    EXPECT_EQ(read_text(path), "second");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"ini.txt"});
}

TEST(AtomicFile, EveryFailingStepKeepsTheOldFileAndSaysWhy) {
    for (const std::string step : {"write", "fsync", "close", "rename"}) {
        TempFolder dir;
        const auto path = dir / "A.data";
        write_text(path, "old");
        sys::SyscallOverride injected(failing(step, EIO));
        const auto written = write_file_atomically(path, "new");
        EXPECT_FALSE(written) << step;
        EXPECT_EQ(written.error(), "cannot write " + path + ": Input/output error") << step;
        EXPECT_EQ(read_text(path), "old") << step;
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"A.data"}) << step;
    }
}

TEST(AtomicFile, TemporaryNameFitsBesideTheLongestTargetName) {
    TempFolder dir;
    const std::string longest(250, 'x');
    ASSERT_TRUE(write_file_atomically(dir / (longest + ".data"), "ok"));
    EXPECT_EQ(read_text(dir / (longest + ".data")), "ok");
    EXPECT_LE(temporary_path_in("").size(), 40u);
}

TEST(Folders, CreatesParentsAndNamesWhatIsInTheWay) {
    TempFolder dir;
    EXPECT_TRUE(create_directories(dir / "a/b/c"));
    EXPECT_TRUE(create_directories(dir / "a/b/c"));  // existing: no failure
    write_text(dir / "file", "x");
    const auto blocked = create_directories(dir / "file");
    EXPECT_FALSE(blocked);
    EXPECT_NE(blocked.error().find("something else is in the way"), std::string::npos);
}

TEST(UniqueNames, PublishNeverReplacesAnEarlierFile) {
    TempFolder dir;
    for (const std::string content : {"one", "two", "three"}) {
        write_text(dir / ".t", content);
        ASSERT_TRUE(publish_without_overwrite(dir / ".t", dir.path(), "shot", "png"));
    }
    EXPECT_EQ(names_in(dir.path()),
              (std::vector<std::string>{"shot-2.png", "shot-3.png", "shot.png"}));
    EXPECT_EQ(read_text(dir / "shot.png"), "one");
    EXPECT_EQ(read_text(dir / "shot-3.png"), "three");

    const auto missing = publish_without_overwrite(dir / ".t", dir / "nope", "shot", "png");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error().find("nope"), std::string::npos);
}

TEST(UniqueNames, FallsBackToLinksThenExclusiveCreateWithoutNoReplaceRename) {
    for (const bool links_work : {true, false}) {
        TempFolder dir;
        write_text(dir / "shot.png", "older");
        write_text(dir / ".t", "newer");
        auto table = failing("rename_noreplace", EINVAL);
        if (!links_work)
            table.link = failing("link", EPERM).link;
        sys::SyscallOverride injected(table);
        const auto published = publish_without_overwrite(dir / ".t", dir.path(), "shot", "png");
        ASSERT_TRUE(published) << published.error();
        EXPECT_EQ(*published, dir / "shot-2.png");
        EXPECT_EQ(read_text(dir / "shot.png"), "older");
        EXPECT_EQ(read_text(dir / "shot-2.png"), "newer");
        EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"shot-2.png", "shot.png"}));
    }
}

TEST(UniqueNames, CreateNewFileTakesTheNextFreeName) {
    TempFolder dir;
    write_text(dir / "Recording-1.mov", "older");
    const auto created = create_new_file(dir.path(), "Recording-1", "mov");
    ASSERT_TRUE(created);
    EXPECT_EQ(*created, dir / "Recording-1-2.mov");
    EXPECT_EQ(read_text(dir / "Recording-1.mov"), "older");
}

TEST(UniqueNames, WriteNewFileNamesTheFileTheUserKnowsOnFailure) {
    TempFolder dir;
    sys::SyscallOverride injected(failing("fsync", ENOSPC));
    const auto written = write_new_file(dir.path(), "2026_1205_115911", "png", "bytes");
    EXPECT_FALSE(written);
    EXPECT_EQ(written.error(),
              "cannot write " + (dir / "2026_1205_115911.png") + ": No space left on device");
    EXPECT_TRUE(names_in(dir.path()).empty());
}

TEST(Sweep, RemovesOnlyTemporariesOfFinishedWriters) {
    TempFolder dir;
    const std::string gone = std::to_string(finished_process());
    const std::string alive = std::to_string(getpid());
    const std::vector<std::string> swept = {
        ".camvault-" + gone + "-0.part",
        ".A.data.tmp-" + gone + "-3",             // an earlier version's atomic write
        ".exp_20261205.part-" + gone + "-1.mov",  // an earlier version's export
    };
    const std::vector<std::string> kept = {
        ".camvault-" + alive + "-0.part",  // still being written
        ".camvault-" + gone + "-0.partial", ".camvault-x-0.part", "FILE0001.data",
        ".hidden-" + gone + "-1",
    };
    for (const auto& name : swept)
        write_text(dir / name, "x");
    for (const auto& name : kept)
        write_text(dir / name, "x");
    EXPECT_EQ(sweep_abandoned_temporaries(dir.path()), 3);
    auto expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names_in(dir.path()), expected);
}

}  // namespace
}  // namespace camvault
