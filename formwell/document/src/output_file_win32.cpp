#include <windows.h>

#include "formwell/document/input_file.h"
#include "formwell/document/output_file.h"
#include "win32_error.h"

namespace formwell {

namespace {
HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}
}  // namespace

std::optional<AppError> OutputFile::create(const std::filesystem::path& path) {
    (void)close();
    // OPEN_ALWAYS, then emptied once it is known to be a file on a disk.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return notARegularFile(path);
        }
        return errorFromWin32(error, path.string());
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return notARegularFile(path);
    }
    if (!SetEndOfFile(file)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        return errorFromWin32(error, path.string());
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    length_ = 0;
    shownPath_ = path.string();
    return std::nullopt;
}

std::optional<AppError> OutputFile::write(std::string_view bytes) {
    if (handle_ == kClosed) {
        return errorFromWin32(ERROR_INVALID_HANDLE, shownPath_);
    }
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const DWORD chunk = rest.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(rest.size());
        DWORD written = 0;
        if (!WriteFile(handleOf(handle_), rest.data(), chunk, &written, nullptr)) {
            const DWORD error = GetLastError();
            // Back to the last whole write, so that the file never ends in half a record.
            LARGE_INTEGER end{};
            end.QuadPart = static_cast<LONGLONG>(length_);
            if (SetFilePointerEx(handleOf(handle_), end, nullptr, FILE_BEGIN)) {
                (void)SetEndOfFile(handleOf(handle_));
            }
            return errorFromWin32(error, shownPath_);
        }
        rest.remove_prefix(written);
    }
    length_ += bytes.size();
    return std::nullopt;
}

std::optional<AppError> OutputFile::sync() {
    if (handle_ == kClosed) {
        return errorFromWin32(ERROR_INVALID_HANDLE, shownPath_);
    }
    if (!FlushFileBuffers(handleOf(handle_))) {
        return errorFromWin32(GetLastError(), shownPath_);
    }
    return std::nullopt;
}

std::optional<AppError> OutputFile::close() {
    if (handle_ == kClosed) {
        return std::nullopt;
    }
    const HANDLE file = handleOf(handle_);
    handle_ = kClosed;
    if (!CloseHandle(file)) {
        return errorFromWin32(GetLastError(), shownPath_);
    }
    return std::nullopt;
}

}  // namespace formwell
