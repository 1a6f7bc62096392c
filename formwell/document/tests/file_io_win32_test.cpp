// What only Windows files do to a document: the read-only attribute, another program holding the
// file, devices that answer to a file name.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "document_samples.h"
#include "formwell/document/ini_file.h"
#include "formwell/document/replace_file.h"
#include "formwell/testing/temp_dir.h"

namespace formwell {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

namespace fs = std::filesystem;
using samples::kNewRecord;
using samples::kOldRecord;

// The save's own temporary files (".doc.ini.saving-..."). Only those: Wine's ReplaceFile leaves a
// file of its own ("rf*.tmp") beside a target it could not replace.
std::size_t savingFilesIn(const fs::path& dir) {
    std::size_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        count += entry.path().filename().string().rfind(".doc.ini.saving-", 0) == 0 ? 1 : 0;
    }
    return count;
}

// A save that cannot take the file's place keeps the old content and leaves no temporary file.
TEST(ReplaceFileWindows, AReadOnlyOrHeldFileKeepsItsOldContent) {
    TempDir dir;
    const fs::path file = dir / "doc.ini";
    writeBytes(file, kOldRecord);

    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::optional<AppError> error = replaceFileContents(file, kNewRecord);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, errnum::kPathFileAccess) << error->text();
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(readBytes(file), kOldRecord);
    EXPECT_EQ(savingFilesIn(dir.path()), 0u) << "temporary file left behind";

    // Another program has it open and shares nothing.
    const HANDLE held =
        CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    error = replaceFileContents(file, kNewRecord);
    CloseHandle(held);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, errnum::kPathFileAccess) << error->text();
    EXPECT_EQ(readBytes(file), kOldRecord);
    EXPECT_EQ(savingFilesIn(dir.path()), 0u) << "temporary file left behind";

    ASSERT_FALSE(replaceFileContents(file, kNewRecord));
    EXPECT_EQ(readBytes(file), kNewRecord);
    EXPECT_EQ(savingFilesIn(dir.path()), 0u);
}

// A reader that shares reading and writing (a viewer, an editor with the file open) does not stop
// the document from being read.
TEST(IniFileReadWindows, ADeviceIsNoDocumentAFileOpenElsewhereIsRead) {
    const IniReadResult device = readIniFile("NUL");
    ASSERT_TRUE(device.error);
    EXPECT_EQ(device.error->number, errnum::kPathFileAccess);

    TempDir dir;
    const fs::path file = dir / "doc.ini";
    writeBytes(file, kOldRecord);
    const HANDLE viewer =
        CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    const IniReadResult read = readIniFile(file);
    CloseHandle(viewer);
    EXPECT_FALSE(read.error);
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].FieldName, "OLD           ");
}

}  // namespace
}  // namespace formwell
