// The lines of a file being sent to the terminal, read as they are needed. A line ends at CR, at
// CR LF or at a lone LF, as the editor reads INI files: a file saved with Unix line ends must not
// reach the terminal as one frame holding every record. Every other byte is part of the line's text.
// Text after the last ending is a last line; an ending at the very end starts no empty extra line.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "formwell/document/input_file.h"

namespace formwell::link {

class SendLines {
  public:
    // Opens the file: throws AppError 53, 75, ... (open-first: a FIFO is refused without waiting).
    explicit SendLines(const std::filesystem::path& path);

    // The next line into `line`; false at the end of the file. Throws AppError when a read fails.
    bool next(std::string& line);

    void close() { file_.close(); }

  private:
    bool fill();

    InputFile file_;
    std::array<char, 4096> buffer_{};
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
};

// How many lines `next` will give for the file (for progress). Throws like SendLines.
std::int64_t countSendLines(const std::filesystem::path& path);

}  // namespace formwell::link
