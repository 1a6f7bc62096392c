// Cuts a stream of bytes into lines. A line ends at CR, at LF, or at CR LF (one ending, even when
// the CR and the LF arrive in different chunks). Characters after the last ending form a final
// line; an ending at the very end of the stream does not start an empty extra line.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace formwell {

#if defined(__SSE2__)
// 0xFF in each of the sixteen bytes at `data` that is a CR or an LF.
inline __m128i lineEndingsOf16(const char* data) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
    return _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
}
#endif

// The CRs and LFs of one chunk in order, found 64 characters at a time: a document's lines are
// short, and opening the largest one is mostly this search.
class LineEndings {
  public:
    explicit LineEndings(std::string_view chunk) : chunk_(chunk) {}

    // Where the next CR or LF stands; the chunk's size once there is none.
    std::size_t next() {
        while (hits_ == 0) {
            if (scanned_ >= chunk_.size()) {
                return chunk_.size();
            }
            block_ = scanned_;
            hits_ = scan(block_);
            scanned_ += kBlock;
        }
        const std::size_t at = block_ + static_cast<std::size_t>(std::countr_zero(hits_));
        hits_ &= hits_ - 1;
        return at;
    }

    // Hands out the ending at `at` now, when it is the LF right after the CR just handed out and
    // lies in the same block: a CR LF then costs one search instead of two.
    bool takeLfAfterCr(std::size_t at) {
        const std::size_t bit = at - block_;
        if (bit >= kBlock || (hits_ & (std::uint64_t{1} << bit)) == 0 || chunk_[at] != '\n') {
            return false;
        }
        hits_ &= hits_ - 1;  // it is the lowest one left
        return true;
    }

  private:
    static constexpr std::size_t kBlock = 64;

    // Bit i set where the character at block + i is a CR or an LF.
    std::uint64_t scan(std::size_t block) const {
        const char* const data = chunk_.data() + block;
        const std::size_t length = std::min(kBlock, chunk_.size() - block);
        std::uint64_t hits = 0;
#if defined(__SSE2__)
        if (length == kBlock) {
            const auto sixteen = [data](std::size_t i) -> std::uint64_t {
                return static_cast<std::uint64_t>(
                           static_cast<std::uint32_t>(_mm_movemask_epi8(lineEndingsOf16(data + i))))
                       << i;
            };
            return sixteen(0) | sixteen(16) | sixteen(32) | sixteen(48);
        }
#endif
        for (std::size_t i = 0; i < length; ++i) {
            if (data[i] == '\r' || data[i] == '\n') {
                hits |= std::uint64_t{1} << i;
            }
        }
        return hits;
    }

    std::string_view chunk_;
    std::size_t scanned_ = 0;  // the blocks before this are scanned
    std::size_t block_ = 0;    // the block `hits_` belongs to
    std::uint64_t hits_ = 0;   // its endings not yet handed out
};

// Whether a CR or an LF stands among the first `length` characters at `data`.
inline bool holdsLineEnding(const char* data, std::size_t length) {
#if defined(__SSE2__)
    if (length >= 16) {
        // Sixteen at a time, the last sixteen overlapping the ones before.
        __m128i found = lineEndingsOf16(data + length - 16);
        for (std::size_t i = 0; i + 16 < length; i += 16) {
            found = _mm_or_si128(found, lineEndingsOf16(data + i));
        }
        return _mm_movemask_epi8(found) != 0;
    }
#endif
    return std::string_view(data, length).find_first_of("\r\n") != std::string_view::npos;
}

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
        const char* const data = chunk.data();
        std::size_t at = 0;
        bool afterCr = afterCr_;
        LineEndings endings(chunk);
        for (std::size_t end = endings.next(); end < chunk.size(); end = endings.next()) {
            if (afterCr) {
                afterCr = false;
                if (end == at && data[end] == '\n') {  // the LF of a CR LF, the CR perhaps in the last chunk
                    ++at;
                    continue;
                }
            }
            bool more = false;
            if (open_) {  // only the first line of a chunk can have begun in an earlier one
                gather(std::string_view(data + at, end - at));
                more = onLine(std::string_view(line_));
                line_.clear();
                open_ = false;
            } else {
                more = onLine(std::string_view(data + at, std::min(end - at, keptChars_)));
            }
            afterCr = data[end] == '\r';
            at = end + 1;
            if (afterCr && endings.takeLfAfterCr(at)) {
                afterCr = false;
                ++at;
            }
            if (!more) {
                afterCr_ = afterCr;
                return false;
            }
        }
        if (at < chunk.size()) {
            afterCr = false;
            gather(std::string_view(data + at, chunk.size() - at));
        }
        afterCr_ = afterCr;
        return true;
    }

    // True while the characters of a line that began in an earlier chunk are gathered.
    bool holdsOpenLine() const { return open_; }

    // For a reader that cut the lines of some input itself: nothing is open or pending between them.
    bool atLineStart() const { return !open_ && !afterCr_; }
    // It cut them up to a line ending (`cr`: a CR, whose LF may start what comes next).
    void continueAfterEnding(bool cr) { afterCr_ = cr; }

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
