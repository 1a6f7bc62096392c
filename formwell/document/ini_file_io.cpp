#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "formwell/document/ini_file.h"
#include "formwell/document/replace_file.h"

namespace formwell {

namespace {
constexpr std::size_t kReadChunkBytes = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
}  // namespace

IniReadResult readIniFile(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return IniReadResult{
            {},
            AppError{errnum::kPathFileAccess, describeError(errnum::kPathFileAccess) +
                                                  ": not a regular file (" + path.string() + ")"}};
    }
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.string().c_str(), "rb"));
    if (!file) {
        return IniReadResult{{}, errorFromErrno(errno != 0 ? errno : ENOENT, path.string())};
    }
    IniDocumentParser parser;
    std::array<char, kReadChunkBytes> buffer{};
    while (true) {
        errno = 0;
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (got > 0 && !parser.feed(std::string_view(buffer.data(), got))) {
            break;
        }
        if (got < buffer.size()) {
            if (std::ferror(file.get())) {
                // Rows read before the failure stay; the rest of the file is not read.
                return parser.stop(errorFromErrno(errno != 0 ? errno : EIO, path.string()));
            }
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
