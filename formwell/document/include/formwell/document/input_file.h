// A file opened for reading (an INI document, the port settings). What was opened is checked, not the
// name beforehand: a name can be made to lead somewhere else between a check and the open, and a FIFO
// swapped in there would hold a plain open() for ever, waiting for a writer that never comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "formwell/common/app_error.h"

namespace formwell {

class InputFile {
  public:
    InputFile() = default;
    ~InputFile() { close(); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` for reading: error 53 when it is missing, 75 (notARegularFile) for anything but a
    // regular file, a directory or a device included. Never waits on a FIFO.
    std::optional<AppError> open(const std::filesystem::path& path);

    // Up to `capacity` bytes into `buffer`; `got` 0 means the end of the file.
    std::optional<AppError> read(char* buffer, std::size_t capacity, std::size_t& got);

    void close();

  private:
    // A file descriptor on POSIX, a HANDLE on Windows.
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;
    std::string shownPath_;
};

inline AppError notARegularFile(const std::filesystem::path& path) {
    return AppError{errnum::kPathFileAccess,
                    describeError(errnum::kPathFileAccess) + ": not a regular file (" + path.string() + ")"};
}

}  // namespace formwell
