#include <windows.h>

#include <atomic>
#include <string>

#include "formwell/document/replace_file.h"
#include "leftover_files.h"
#include "win32_error.h"

namespace formwell {

namespace {

constexpr int kTempNameAttempts = 100;

std::filesystem::path tempPathFor(const std::filesystem::path& target, int attempt) {
    static std::atomic<unsigned> counter{0};
    const std::wstring name = L"." + target.filename().wstring() + L".saving-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) +
                              L"-" + std::to_wstring(attempt);
    return target.parent_path() / name;
}

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

std::optional<AppError> replaceFileContents(const std::filesystem::path& path, std::string_view bytes) {
    const std::string shownPath = path.string();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return errorFromWin32(GetLastError(), shownPath);
    }
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return errorFromWin32(ERROR_ACCESS_DENIED, shownPath);
    }

    std::filesystem::path temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kTempNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = tempPathFor(path, attempt);
        file =
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return errorFromWin32(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error, shownPath);
    }

    if (!writeAll(file, bytes) || !FlushFileBuffers(file)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        DeleteFileW(temp.c_str());
        return errorFromWin32(error, shownPath);
    }
    CloseHandle(file);

    // ReplaceFile keeps the old file's attributes and security; a read-only target refuses.
    const BOOL replaced = exists ? ReplaceFileW(path.c_str(), temp.c_str(), nullptr,
                                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                                 : MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!replaced) {
        const DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        return errorFromWin32(error, shownPath);
    }
    removeLeftovers(path);
    return std::nullopt;
}

bool processHasEnded(std::uint64_t pid) {
    if (pid == 0 || pid > MAXDWORD) {
        return false;
    }
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        // No such process; any other refusal (another user's process) says it is running.
        return GetLastError() == ERROR_INVALID_PARAMETER;
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

}  // namespace formwell
