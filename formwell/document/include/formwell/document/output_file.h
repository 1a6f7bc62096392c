// A file created, or emptied, and then written from the start (the received data file). Like
// InputFile, what was opened is checked: a FIFO or a device named like the file is refused with error
// 75 without waiting on it. Each write is whole or not there: a reader never finds half a record.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "formwell/common/app_error.h"

namespace formwell {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { (void)close(); }  // an explicit close() reports what the destructor cannot
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file, or empties it when it exists: 76 when its folder does not exist, 75 when it
    // cannot be written or is not a regular file (a directory, a FIFO, a device).
    std::optional<AppError> create(const std::filesystem::path& path);

    // Writes all of `bytes` at the end of what was written so far (61 when the disk is full, 75 for a
    // file-size limit). When not all of them could be written, the file is cut back to where it ended
    // before this call.
    std::optional<AppError> write(std::string_view bytes);

    // Waits until what was written is on the disk, so that it survives a power cut as well as the end
    // of this program.
    std::optional<AppError> sync();

    // Closes the file; an error the system reports only at the close (a network file) comes back here.
    std::optional<AppError> close();

    bool isOpen() const { return handle_ != kClosed; }

  private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;
    std::uint64_t length_ = 0;  // bytes written since the file was emptied
    std::string shownPath_;
};

}  // namespace formwell
