// Cuts a stream of bytes into lines. A line ends at CR, at LF, or at CR LF (one ending, even when
// the CR and the LF arrive in different chunks). Characters after the last ending form a final
// line; an ending at the very end of the stream does not start an empty extra line.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
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
    // false when onLine returns false. A line that lies whole inside the chunk is handed on where it
    // lies; only one that spans chunks is gathered.
    template <typename OnLine>
    bool feed(std::string_view chunk, OnLine&& onLine) {
        std::size_t at = 0;
        skipLfAfterCr(chunk, at);
        // The next CR and the next LF, each searched for again only once passed: every byte is
        // looked at once per kind of ending, by the C library's fast search.
        std::size_t nextCr = find(chunk, '\r', at);
        std::size_t nextLf = find(chunk, '\n', at);
        while (at < chunk.size()) {
            if (nextCr < at) {
                nextCr = find(chunk, '\r', at);
            }
            if (nextLf < at) {
                nextLf = find(chunk, '\n', at);
            }
            const std::size_t end = std::min(nextCr, nextLf);
            const std::string_view piece = chunk.substr(at, end - at);
            if (end == chunk.size()) {
                gather(piece);
                return true;
            }
            bool more = false;
            if (open_) {
                gather(piece);
                more = onLine(std::string_view(line_));
                line_.clear();
                open_ = false;
            } else {
                more = onLine(piece.substr(0, keptChars_));
            }
            afterCr_ = chunk[end] == '\r';
            at = end + 1;
            if (!more) {
                return false;
            }
            skipLfAfterCr(chunk, at);
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
    // Where `c` next stands in the chunk from `from` on; the chunk's size when nowhere.
    static std::size_t find(std::string_view chunk, char c, std::size_t from) {
        const void* found =
            from < chunk.size() ? std::memchr(chunk.data() + from, c, chunk.size() - from) : nullptr;
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - chunk.data())
                     : chunk.size();
    }

    // The LF of a CR LF ending, also when the CR came at the end of the previous chunk.
    void skipLfAfterCr(std::string_view chunk, std::size_t& at) {
        if (afterCr_ && at < chunk.size()) {
            afterCr_ = false;
            if (chunk[at] == '\n') {
                ++at;
            }
        }
    }

    void gather(std::string_view piece) {
        open_ = open_ || !piece.empty();
        if (line_.size() < keptChars_) {
            line_.append(piece.substr(0, keptChars_ - line_.size()));
        }
    }

    std::size_t keptChars_;
    std::string line_;
    bool open_ = false;  // characters seen since the last line ending
    bool afterCr_ = false;
};

}  // namespace formwell
