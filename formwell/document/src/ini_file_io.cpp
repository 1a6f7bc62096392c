#include <array>
#include <filesystem>
#include <system_error>

#include "formwell/document/ini_file.h"
#include "formwell/document/input_file.h"
#include "formwell/document/replace_file.h"

namespace formwell {

namespace {
constexpr std::size_t kReadChunkBytes = 64 * 1024;
}  // namespace

IniReadResult readIniFile(const std::filesystem::path& path) {
    InputFile file;
    if (std::optional<AppError> error = file.open(path)) {
        return IniReadResult{{}, std::move(error)};
    }
    IniDocumentParser parser;
    std::error_code sizeUnknown;
    const std::uintmax_t size = std::filesystem::file_size(path, sizeUnknown);
    if (!sizeUnknown) {
        parser.expectBytes(size);
    }
    std::array<char, kReadChunkBytes> buffer{};
    while (true) {
        std::size_t got = 0;
        if (std::optional<AppError> error = file.read(buffer.data(), buffer.size(), got)) {
            // Rows read before the failure stay; the rest of the file is not read.
            return parser.stop(std::move(*error));
        }
        if (got == 0 || !parser.feed(std::string_view(buffer.data(), got))) {
            break;
        }
    }
    return parser.finish();
}

std::optional<AppError> writeIniFile(const std::filesystem::path& path,
                                     const std::vector<FieldDefinition>& rows) {
    if (rows.size() > static_cast<std::size_t>(kMaxFields)) {
        return makeError(errnum::kOverflow);
    }
    return replaceFileContents(path, formatIniDocument(rows));
}

}  // namespace formwell
