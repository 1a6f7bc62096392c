#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include "formwell/link/shared_library.h"

namespace formwell::link {

std::string libraryFileName(std::string_view baseName) {
    return "lib" + std::string(baseName) + ".so";
}

std::string executableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    const std::string exe(path, static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash == 0 ? 1 : slash);
}

std::optional<LoadedLibrary> loadLibrary(const std::string& fileName, std::string& error) {
    for (const std::string& candidate : libraryCandidates(executableDirectory(), fileName)) {
        // RTLD_NOW: a library that lacks something it needs fails here, not in the middle of a transfer.
        if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            return LoadedLibrary{handle, candidate};
        }
        const char* reason = ::dlerror();
        error = reason ? reason : candidate + ": cannot be loaded";
    }
    return std::nullopt;
}

void* findSymbol(const LoadedLibrary& library, const char* name) {
    return library.handle ? ::dlsym(library.handle, name) : nullptr;
}

}  // namespace formwell::link
