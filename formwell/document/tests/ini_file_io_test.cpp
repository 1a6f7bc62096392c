// Reading and writing INI documents, on every platform.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "document_samples.h"
#include "formwell/document/ini_file.h"
#include "formwell/testing/temp_dir.h"

namespace formwell {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

namespace fs = std::filesystem;
using samples::kOldRecord;
using samples::someRows;

std::size_t entriesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(IniFileWrite, WritesExactBytesAndReadsThemBack) {
    TempDir dir;
    const fs::path file = dir / "doc.ini";
    const std::vector<FieldDefinition> rows = {{"QTY", "Number", "1", "5", "Y", "N", ""}, {}};
    ASSERT_FALSE(writeIniFile(file, rows));
    EXPECT_EQ(readBytes(file), "QTY           Number5 YN1 0111111111111111\r\n" + std::string(26, ' ') +
                                   "0111111111111111\r\n");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "temporary file left behind";

    const IniReadResult read = readIniFile(file);
    EXPECT_FALSE(read.error);
    ASSERT_EQ(read.rows.size(), 2u);
    EXPECT_EQ(read.rows[0].FieldType, "Number");
    EXPECT_EQ(read.rows[1].MinFieldLength, "1");
}

TEST(IniFileWrite, NoRowsReplacesTheFileWithZeroBytes) {
    TempDir dir;
    const fs::path file = dir / "doc.ini";
    writeBytes(file, kOldRecord);
    ASSERT_FALSE(writeIniFile(file, {}));
    EXPECT_EQ(fs::file_size(file), 0u);
    const IniReadResult read = readIniFile(file);
    EXPECT_FALSE(read.error);
    EXPECT_TRUE(read.rows.empty());
}

// Every failed save must leave the old document byte for byte and no temporary file.
TEST(IniFileWrite, FailuresLeaveTheOldFileIntact) {
    TempDir dir;

    // The target is a directory.
    const fs::path folder = dir / "folder.ini";
    fs::create_directory(folder);
    std::optional<AppError> error = writeIniFile(folder, someRows(1));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, errnum::kPathFileAccess);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));

    // The directory does not exist.
    error = writeIniFile(dir / "missing" / "doc.ini", someRows(1));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, errnum::kPathNotFound);
    EXPECT_EQ(error->text().rfind("76 Path not found", 0), 0u) << error->text();

    // Too many rows: refused before anything is written.
    const fs::path file = dir / "doc.ini";
    writeBytes(file, kOldRecord);
    error = writeIniFile(file, someRows(kMaxFields + 1));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->text(), "6 Overflow");
    EXPECT_EQ(readBytes(file), kOldRecord);

    EXPECT_EQ(entriesIn(dir.path()), 2u) << "temporary file left behind";
}

TEST(IniFileRead, MissingFileAndNonFilesAreErrors) {
    TempDir dir;
    IniReadResult read = readIniFile(dir / "nothing.ini");
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->number, errnum::kFileNotFound);
    EXPECT_EQ(read.error->text().rfind("53 File not found", 0), 0u) << read.error->text();
    EXPECT_TRUE(read.rows.empty());

    // A directory is not read as a document.
    read = readIniFile(dir.path());
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->number, errnum::kPathFileAccess);
    EXPECT_TRUE(read.rows.empty());
}

TEST(IniFileRead, LineEndingStraddlingReadChunksAndAnOverlongLine) {
    TempDir dir;
    const fs::path file = dir / "doc.ini";
    // The first line is exactly 64 KiB - 1 long, so its CR ends one read chunk and its LF starts the
    // next: the pair must still be one line ending.
    std::string bytes = "LONG" + std::string(65535 - 4, 'x') + "\r\n";
    bytes += "QTY           Number5 YN1 0111111111111111\r\n";
    writeBytes(file, bytes);
    const IniReadResult read = readIniFile(file);
    EXPECT_FALSE(read.error);
    ASSERT_EQ(read.rows.size(), 2u);
    EXPECT_EQ(read.rows[0].FieldName, "LONGxxxxxxxxxx");
    EXPECT_EQ(read.rows[0].Barcodes, std::string(16, 'x'));
    EXPECT_EQ(read.rows[1].FieldName, "QTY           ");
}

TEST(IniFileRead, MoreThanTheRowLimitIsOverflowWithTheRowsKept) {
    TempDir dir;
    const fs::path file = dir / "big.ini";
    std::string bytes;
    for (int i = 0; i < kMaxFields; ++i) {
        bytes += "N\r\n";
    }
    writeBytes(file, bytes);
    IniReadResult read = readIniFile(file);
    EXPECT_FALSE(read.error);
    EXPECT_EQ(read.rows.size(), static_cast<std::size_t>(kMaxFields));

    writeBytes(file, bytes + "LAST");  // one line more, unterminated
    read = readIniFile(file);
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->text(), "6 Overflow");
    ASSERT_EQ(read.rows.size(), static_cast<std::size_t>(kMaxFields));
    EXPECT_EQ(read.rows.back().FieldName, "N");
}

}  // namespace
}  // namespace formwell
