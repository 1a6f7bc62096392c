#include <windows.h>

#include "formwell/document/input_file.h"
#include "win32_error.h"

namespace formwell {

namespace {
HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}
}  // namespace

std::optional<AppError> InputFile::open(const std::filesystem::path& path) {
    close();
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open at all.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return notARegularFile(path);
        }
        return errorFromWin32(error, path.string());
    }
    // Pipes, consoles and devices (NUL, COM1) are not documents.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return notARegularFile(path);
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    shownPath_ = path.string();
    return std::nullopt;
}

std::optional<AppError> InputFile::read(char* buffer, std::size_t capacity, std::size_t& got) {
    got = 0;
    if (handle_ == kClosed) {
        return errorFromWin32(ERROR_INVALID_HANDLE, shownPath_);
    }
    const DWORD chunk = capacity > 0x40000000u ? 0x40000000u : static_cast<DWORD>(capacity);
    DWORD count = 0;
    if (!ReadFile(handleOf(handle_), buffer, chunk, &count, nullptr)) {
        return errorFromWin32(GetLastError(), shownPath_);
    }
    got = count;
    return std::nullopt;
}

void InputFile::close() {
    if (handle_ != kClosed) {
        CloseHandle(handleOf(handle_));
        handle_ = kClosed;
    }
}

}  // namespace formwell
