// What only POSIX files do to a document: permissions, symbolic links, devices and FIFOs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "document_samples.h"
#include "formwell/document/ini_file.h"
#include "formwell/testing/temp_dir.h"

namespace formwell {
namespace {

using testing::TempDir;
using testing::writeBytes;

namespace fs = std::filesystem;
using samples::kOldRecord;
using samples::someRows;

TEST(IniFileWrite, KeepsPermissionsAndFollowsSymlinks) {
    TempDir dir;
    const fs::path file = dir / "doc.ini";
    writeBytes(file, kOldRecord);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path link = dir / "link.ini";
    fs::create_symlink(file, link);

    ASSERT_FALSE(writeIniFile(link, someRows(2)));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(file), 88u);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(IniFileRead, AnEndlessDeviceIsNotADocument) {
    const IniReadResult read = readIniFile("/dev/zero");
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->number, errnum::kPathFileAccess);
    EXPECT_TRUE(read.rows.empty());
}

// Nobody ever writes to the FIFO, so a reader that opened it by name would wait in open() for ever.
// The names of a document and a FIFO are swapped over and over while the reader runs, so that a
// FIFO turns up between any check of the name and the open.
TEST(IniFileRead, AFifoInPlaceOfTheFileIsRefusedAndNeverWaitedFor) {
    constexpr int kReads = 3000;
    constexpr auto kStuck = std::chrono::seconds(10);  // only ever reached when a read blocks
    TempDir dir;
    const fs::path file = dir / "doc.ini";
    const fs::path fifo = dir / "swap.ini";
    writeBytes(file, kOldRecord);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    std::atomic<bool> stop{false};
    std::atomic<bool> swapping{false};
    std::atomic<int> reads{0};
    std::atomic<int> wrongResults{0};
    std::thread reader([&] {
        const IniReadResult atRest = readIniFile(fifo);
        if (!atRest.error || atRest.error->number != errnum::kPathFileAccess) {
            ++wrongResults;
        }
        swapping = true;
        for (int i = 0; i < kReads && !stop; ++i, ++reads) {
            const IniReadResult read = readIniFile(file);
            const bool refused = read.error && read.error->number == errnum::kPathFileAccess;
            const bool whole = !read.error && read.rows.size() == 1;
            if (!refused && !whole) {
                ++wrongResults;
            }
        }
        stop = true;
    });
    std::thread swapper([&] {
        while (!swapping && !stop) {
            std::this_thread::yield();
        }
        while (!stop) {
            (void)::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, fifo.c_str(), RENAME_EXCHANGE);
        }
    });

    bool stuck = false;
    auto lastProgress = std::chrono::steady_clock::now();
    for (int seen = -1; !stop;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (reads != seen) {
            seen = reads;
            lastProgress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastProgress > kStuck) {
            stuck = true;
            stop = true;
        }
    }
    swapper.join();
    if (stuck) {
        // Free the blocked reader: a writer's open lets its open return.
        for (const fs::path& name : {file, fifo}) {
            const int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    reader.join();
    EXPECT_FALSE(stuck) << "the reader waited on a FIFO after " << reads << " reads";
    EXPECT_EQ(wrongResults, 0);
}

}  // namespace
}  // namespace formwell
