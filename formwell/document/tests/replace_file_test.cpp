// Replacing a file: by rename where that keeps the file as it was to everyone else, in place where it
// would not; links followed to where the file is; the old content whole after every failure.
#include "formwell/document/replace_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "document_samples.h"
#include "formwell/testing/temp_dir.h"

namespace formwell {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

namespace fs = std::filesystem;
using samples::kNewRecord;
using samples::kOldRecord;

std::size_t entriesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

ino_t inodeOf(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Points the temporary directory (where an aside copy goes when the file's own directory takes none)
// at a folder of the test's for as long as it lives.
class ScopedTmpDir {
  public:
    explicit ScopedTmpDir(const fs::path& dir) {
        if (const char* old = std::getenv("TMPDIR")) {
            old_ = old;
        }
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    ~ScopedTmpDir() {
        if (old_) {
            ::setenv("TMPDIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    ScopedTmpDir(const ScopedTmpDir&) = delete;
    ScopedTmpDir& operator=(const ScopedTmpDir&) = delete;

  private:
    std::optional<std::string> old_;
};

TEST(ReplaceMethod, RenameOnlyWhereTheNewFileCanTakeTheOldOnesPlaceUnchanged) {
    constexpr std::uint32_t kUser = 1000;
    constexpr std::uint32_t kOther = 1001;
    struct Case {
        const char* what;
        ReplaceFacts facts;
        ReplaceMethod expected;
    };
    const Case cases[] = {
        {"own file in own directory", {true, 1, kUser, kUser, true}, ReplaceMethod::Rename},
        {"directory not writable", {false, 1, kUser, kUser, true}, ReplaceMethod::InPlace},
        {"a second name (hard link)", {true, 2, kUser, kUser, true}, ReplaceMethod::InPlace},
        {"someone else's file (e.g. in /tmp)", {true, 1, kUser, kOther, true}, ReplaceMethod::InPlace},
        {"own file in a group not the user's", {true, 1, kUser, kUser, false}, ReplaceMethod::InPlace},
        {"superuser, someone else's file", {true, 1, 0, kOther, false}, ReplaceMethod::Rename},
        {"superuser, a hard-linked file", {true, 3, 0, kOther, false}, ReplaceMethod::InPlace},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseReplaceMethod(c.facts), c.expected) << c.what;
    }
}

TEST(ReplaceFile, DanglingLinkChainLeadsToWhereTheFileIsMade) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    fs::create_symlink("sub/second.ini", dir / "first.ini");
    fs::create_symlink("../target.ini", dir / "sub" / "second.ini");  // counted from sub/

    ASSERT_FALSE(replaceFileContents(dir / "first.ini", kNewRecord));
    EXPECT_TRUE(fs::is_symlink(dir / "first.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "sub" / "second.ini"));
    EXPECT_EQ(readBytes(dir / "target.ini"), kNewRecord);

    // A loop of links ends in an error, not in a file made somewhere.
    fs::create_symlink("loop.ini", dir / "loop.ini");
    const std::optional<AppError> error = replaceFileContents(dir / "loop.ini", kNewRecord);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, errnum::kPathFileAccess);
    EXPECT_TRUE(fs::is_symlink(dir / "loop.ini"));
    EXPECT_EQ(entriesIn(dir.path()), 4u);
}

TEST(ReplaceFile, HardLinkedFileIsRewrittenInPlace) {
    TempDir dir;
    const fs::path file = dir / "doc.ini";
    writeBytes(file, kOldRecord);
    fs::create_hard_link(file, dir / "other-name.ini");
    const ino_t inode = inodeOf(file);

    ASSERT_FALSE(replaceFileContents(file, kNewRecord));
    EXPECT_EQ(readBytes(file), kNewRecord);
    EXPECT_EQ(readBytes(dir / "other-name.ini"), kNewRecord);
    EXPECT_EQ(inodeOf(file), inode);
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "aside copy left behind";
}

// A save killed before its rename leaves its temporary file; the next save of that document removes
// it once its process has ended and nobody has touched it for a while, and nothing else.
TEST(ReplaceFile, TemporaryFilesOfKilledSavesAreRemovedByTheNextSave) {
    TempDir dir;
    const fs::path file = dir / "doc.ini";
    writeBytes(file, kOldRecord);
    const pid_t ended = ::fork();
    if (ended == 0) {
        ::_exit(0);
    }
    ASSERT_GT(ended, 0);
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    const auto leave = [&](const std::string& name, bool untouched) {
        writeBytes(dir / name, "half a save");
        if (untouched) {
            fs::last_write_time(dir / name, old);
        }
    };
    const std::string endedSave = ".doc.ini.saving-" + std::to_string(ended) + "-0-0";
    leave(endedSave, true);
    leave(".doc.ini.saving-" + std::to_string(::getppid()) + "-3-0", true);  // its maker still runs
    leave(".doc.ini.saving-" + std::to_string(ended) + "-1-0", false);       // touched just now
    leave(".other.ini.saving-" + std::to_string(ended) + "-0-0", true);      // another document's
    leave(".doc.ini.old-" + std::to_string(ended) + "-0-0", true);           // an in-place save's aside copy
    leave(".doc.ini.saving-" + std::to_string(ended) + "-0-0x", true);       // not a name a save makes

    ASSERT_FALSE(replaceFileContents(file, kNewRecord));
    EXPECT_EQ(readBytes(file), kNewRecord);
    EXPECT_FALSE(fs::exists(dir / endedSave));
    EXPECT_EQ(entriesIn(dir.path()), 6u);
}

// The disk fills up part-way through the new content, by rename and in place (a file-size limit
// stands in for a full disk; unlike permissions it also stops the superuser).
TEST(ReplaceFile, DiskFullPartWayLeavesTheOldContent) {
    const std::string big(440, 'x');
    for (const bool hardLinked : {false, true}) {
        SCOPED_TRACE(hardLinked ? "in place" : "by rename");
        TempDir dir;
        const fs::path file = dir / "doc.ini";
        writeBytes(file, kOldRecord);
        if (hardLinked) {
            fs::create_hard_link(file, dir / "other-name.ini");
        }

        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 100;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const std::optional<AppError> error = replaceFileContents(file, big);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        ASSERT_TRUE(error);
        EXPECT_EQ(readBytes(file), kOldRecord);
        EXPECT_EQ(entriesIn(dir.path()), hardLinked ? 2u : 1u) << "temporary or aside file left behind";
    }
}

TEST(ReplaceFile, AsAnOrdinaryUserReadOnlyFileRefusedWritableFileInReadOnlyDirectorySaved) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the superuser writes to read-only files and directories";
    }
    TempDir dir;
    TempDir temporary;
    ScopedTmpDir aside(temporary.path());
    const fs::path file = dir / "doc.ini";
    writeBytes(file, kOldRecord);

    fs::permissions(file, fs::perms::owner_read);
    std::optional<AppError> error = replaceFileContents(file, kNewRecord);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, errnum::kPathFileAccess);
    EXPECT_EQ(readBytes(file), kOldRecord);

    // The directory takes no new file, so the old content is kept aside in the temporary directory.
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    const ino_t inode = inodeOf(file);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    error = replaceFileContents(file, kNewRecord);
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_FALSE(error) << error->text();
    EXPECT_EQ(readBytes(file), kNewRecord);
    EXPECT_EQ(inodeOf(file), inode);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_EQ(entriesIn(temporary.path()), 0u) << "aside copy left behind";
}

// Switches the effective user for as long as it lives (the superuser's tests of other users' files).
class ActingAs {
  public:
    explicit ActingAs(uid_t user) : ok_(::seteuid(user) == 0) {}
    ~ActingAs() {
        if (ok_) {
            (void)::seteuid(0);
        }
    }
    ActingAs(const ActingAs&) = delete;
    ActingAs& operator=(const ActingAs&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_;
};

// Another user's file that this user may write, in a sticky directory (as /tmp): a rename is refused
// there and would give the file to the user who saves it.
TEST(ReplaceFile, SomeoneElsesWritableFileInAStickyDirectoryKeepsItsOwner) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only the superuser can make a file that belongs to another user";
    }
    constexpr uid_t kOwner = 4242;
    constexpr uid_t kSaver = 4343;
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    const fs::path shared = dir / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    const fs::path file = shared / "doc.ini";
    writeBytes(file, kOldRecord);
    ASSERT_EQ(::chown(file.c_str(), kOwner, kOwner), 0);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);

    std::optional<AppError> error;
    {
        ActingAs saver(kSaver);
        ASSERT_TRUE(saver.ok());
        error = replaceFileContents(file, kNewRecord);
    }
    EXPECT_FALSE(error) << error->text();
    EXPECT_EQ(readBytes(file), kNewRecord);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kOwner);
    EXPECT_EQ(st.st_gid, kOwner);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    EXPECT_EQ(entriesIn(shared), 1u) << "aside copy left behind";
}

}  // namespace
}  // namespace formwell
