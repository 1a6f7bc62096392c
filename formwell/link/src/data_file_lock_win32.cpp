#include <windows.h>

#include <filesystem>

#include "formwell/link/data_file_lock.h"

namespace formwell::link {

namespace {

std::string systemText(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result =
        length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(error);
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) {
        result.pop_back();
    }
    return result;
}

}  // namespace

// Opened without sharing: while one receive has it, another one's open fails with a sharing
// violation. The system removes the file when its holder closes it or ends.
DataFileLock::Outcome DataFileLock::acquire(const std::string& lockPath) {
    release();
    holder_.clear();
    reason_.clear();
    path_ = lockPath;
    const HANDLE file =
        CreateFileW(std::filesystem::path(path_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A file being removed by its holder also refuses with access denied.
        const bool exists =
            GetFileAttributesW(std::filesystem::path(path_).c_str()) != INVALID_FILE_ATTRIBUTES;
        if (error == ERROR_SHARING_VIOLATION || (error == ERROR_ACCESS_DENIED && exists)) {
            return Outcome::Busy;
        }
        reason_ = systemText(error);
        return Outcome::Failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return Outcome::Held;
}

void DataFileLock::release() {
    if (handle_ < 0) {
        return;
    }
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace formwell::link
