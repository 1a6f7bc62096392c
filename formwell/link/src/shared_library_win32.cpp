#include <windows.h>

#include "formwell/link/shared_library.h"

namespace formwell::link {

std::string libraryFileName(std::string_view baseName) {
    return std::string(baseName) + ".dll";
}

std::string executableDirectory() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    const std::string exe(path, length);
    const std::size_t separator = exe.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : exe.substr(0, separator);
}

std::optional<LoadedLibrary> loadLibrary(const std::string& fileName, std::string& error) {
    for (const std::string& candidate : libraryCandidates(executableDirectory(), fileName)) {
        if (HMODULE module = ::LoadLibraryA(candidate.c_str())) {
            return LoadedLibrary{reinterpret_cast<void*>(module), candidate};
        }
        error = candidate + ": cannot be loaded (system error " + std::to_string(::GetLastError()) + ")";
    }
    return std::nullopt;
}

void* findSymbol(const LoadedLibrary& library, const char* name) {
    if (library.handle == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(library.handle), name));
}

}  // namespace formwell::link
