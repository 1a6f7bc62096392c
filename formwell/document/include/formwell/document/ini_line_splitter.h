// Cuts a stream of bytes into lines. A line ends at CR, at LF, or at CR LF (one ending, even when
// the CR and the LF arrive in different chunks). Characters after the last ending form a final
// line; an ending at the very end of the stream does not start an empty extra line.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace formwell {

class IniLineSplitter {
  public:
    // Keeps at most `keptChars` characters of each line, so one endless line cannot exhaust memory
    // when the reader only needs the record's columns.
    explicit IniLineSplitter(std::size_t keptChars = std::numeric_limits<std::size_t>::max())
        : keptChars_(keptChars) {}

    // Calls onLine(std::string_view) for each line completed in `chunk`; stops early and returns
    // false when onLine returns false.
    template <typename OnLine>
    bool feed(std::string_view chunk, OnLine&& onLine) {
        for (const char c : chunk) {
            if (afterCr_) {
                afterCr_ = false;
                if (c == '\n') {
                    continue;
                }
            }
            if (c == '\r' || c == '\n') {
                afterCr_ = c == '\r';
                const bool more = onLine(std::string_view(line_));
                line_.clear();
                open_ = false;
                if (!more) {
                    return false;
                }
                continue;
            }
            open_ = true;
            if (line_.size() < keptChars_) {
                line_.push_back(c);
            }
        }
        return true;
    }

    // Delivers the unterminated last line, if any.
    template <typename OnLine>
    void finish(OnLine&& onLine) {
        if (open_) {
            onLine(std::string_view(line_));
            line_.clear();
            open_ = false;
        }
    }

  private:
    std::size_t keptChars_;
    std::string line_;
    bool open_ = false;  // characters seen since the last line ending
    bool afterCr_ = false;
};

}  // namespace formwell
