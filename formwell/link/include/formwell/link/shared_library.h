// Loading a library of ours by file name at run time (comrig for the transfers, pushkit for program
// loads), so that the program starts, and its other commands work, when a library is missing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace formwell::link {

struct LoadedLibrary {
    void* handle = nullptr;  // dlopen's handle, or the HMODULE; never unloaded
    std::string path;        // the file that was loaded, or the bare name the system resolved
};

// The platform's file name: "libcomrig.so" on POSIX, "comrig.dll" on Windows.
std::string libraryFileName(std::string_view baseName);

// Where a library is looked for, in order: beside the executable, then in ../lib beside it (how the
// build and an installation lay programs and libraries out), then the bare name for the system's
// own search. `executableDirectory` may be empty when it is not known.
std::vector<std::string> libraryCandidates(const std::string& executableDirectory,
                                           const std::string& fileName);

// The directory of the running program, or empty when the system cannot tell.
std::string executableDirectory();

// Loads the first candidate that loads. nullopt and, in `error`, the system's reason for the last
// candidate when none does.
std::optional<LoadedLibrary> loadLibrary(const std::string& fileName, std::string& error);

// The address of an exported function, or nullptr when the library has no such export.
void* findSymbol(const LoadedLibrary& library, const char* name);

}  // namespace formwell::link
