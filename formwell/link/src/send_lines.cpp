#include "send_lines.h"

namespace formwell::link {

SendLines::SendLines(const std::filesystem::path& path) {
    if (std::optional<AppError> error = file_.open(path)) {
        throw *error;
    }
}

bool SendLines::fill() {
    if (atEnd_) {
        return false;
    }
    std::size_t got = 0;
    if (std::optional<AppError> error = file_.read(buffer_.data(), buffer_.size(), got)) {
        throw *error;
    }
    begin_ = 0;
    end_ = got;
    atEnd_ = got == 0;
    return !atEnd_;
}

bool SendLines::next(std::string& line) {
    line.clear();
    bool any = false;  // a byte of this line, or its ending, was seen
    for (;;) {
        if (begin_ == end_ && !fill()) {
            return any;
        }
        const char c = buffer_[begin_++];
        any = true;
        if (c == '\n') {
            return true;
        }
        if (c != '\r') {
            line.push_back(c);
            continue;
        }
        // CR ends the line; an LF right after it belongs to the same ending.
        if (begin_ == end_ && !fill()) {
            return true;
        }
        if (buffer_[begin_] == '\n') {
            ++begin_;
        }
        return true;
    }
}

std::int64_t countSendLines(const std::filesystem::path& path) {
    SendLines lines(path);
    std::string line;
    std::int64_t count = 0;
    while (lines.next(line)) {
        ++count;
    }
    return count;
}

}  // namespace formwell::link
