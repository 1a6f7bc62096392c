#include <filesystem>
#include <span>
#include <system_error>

#include "formwell/document/ini_file.h"
#include "formwell/document/input_file.h"
#include "formwell/document/replace_file.h"

namespace formwell {

namespace {
// A read gets all the room the parser has, which is the file's size at first; the read that meets
// the end needs only one byte, and a file that grew or whose size is unknown goes in growing pieces.
constexpr std::size_t kMinReadBytes = 1;
}  // namespace

IniRowsResult readIniRows(const std::filesystem::path& path) {
    InputFile file;
    if (std::optional<AppError> error = file.open(path)) {
        return IniRowsResult{{}, std::move(error)};
    }
    IniDocumentParser parser;
    std::error_code sizeUnknown;
    const std::uintmax_t size = std::filesystem::file_size(path, sizeUnknown);
    if (!sizeUnknown) {
        parser.expectBytes(size);
    }
    while (true) {
        const std::span<char> space = parser.readSpace(kMinReadBytes);
        std::size_t got = 0;
        if (std::optional<AppError> error = file.read(space.data(), space.size(), got)) {
            // Rows read before the failure stay; the rest of the file is not read.
            return parser.stop(std::move(*error));
        }
        if (got == 0 || !parser.feedRead(got)) {
            break;
        }
    }
    return parser.finish();
}

IniReadResult readIniFile(const std::filesystem::path& path) {
    IniRowsResult read = readIniRows(path);
    return {read.rows.toVector(), std::move(read.error)};
}

std::optional<AppError> writeIniFile(const std::filesystem::path& path, const FieldRows& rows) {
    if (rows.size() > static_cast<std::size_t>(kMaxFields)) {
        return makeError(errnum::kOverflow);
    }
    return replaceFileContents(path, formatIniDocument(rows));
}

}  // namespace formwell
