// Terminal-side codec for the link frames (INI and data files) and the line-protocol frames.
// Pure functions and byte-at-a-time readers: nothing here touches a port, so every layout can be
// checked against literal byte sequences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hhtsim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kSoh = 0x01;
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kLf = 0x0A;
inline constexpr std::uint8_t kCr = 0x0D;
inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kEsc = 0x1B;

std::uint8_t xorOf(std::span<const std::uint8_t> bytes);
Bytes toBytes(std::string_view text);

// Readers report More until the unit is complete; Complete means result() is valid. A reader is
// reusable after reset().
enum class FeedStatus { More, Complete };

// Link frame: STX, the line's bytes (the host includes CR LF), ETX, then the check byte, which is the
// XOR of every byte from STX to ETX inclusive (a frame for "abc" CR LF ends in 0x66).
Bytes buildLinkFrame(std::string_view textWithLineEnd);

struct LinkFrame {
    std::string text;  // the bytes between STX and ETX, exactly as they arrived
    std::uint8_t check = 0;
    bool checkOk = false;
    bool overlong = false;  // more text than the terminal keeps; text holds the first maxText bytes
};

class LinkFrameReader {
  public:
    explicit LinkFrameReader(std::size_t maxText) : maxText_(maxText) {}
    // The first byte fed must be the STX.
    FeedStatus feed(std::uint8_t byte);
    const LinkFrame& result() const { return frame_; }
    void reset();

  private:
    enum class State { Stx, Text, Check };
    std::size_t maxText_;
    State state_ = State::Stx;
    std::uint8_t running_ = 0;
    LinkFrame frame_;
};

// Line-protocol frame: STX, one sequence digit, four decimal length digits, the text, ETX, BCC; the BCC
// is the XOR of every byte after the STX up to and including the ETX.
Bytes buildLineFrame(int sequence, std::string_view text);

struct LineFrame {
    int sequence = -1;  // -1 when the sequence byte was not a digit
    std::string text;
    std::uint8_t bcc = 0;
    bool bccOk = false;
    bool malformed = false;  // bad length digits or no ETX where the length puts it
};

class LineFrameReader {
  public:
    explicit LineFrameReader(std::size_t maxText) : maxText_(maxText) {}
    // The first byte fed must be the STX. A malformed header completes the frame at once (malformed set),
    // so the caller can resynchronise on the next STX.
    FeedStatus feed(std::uint8_t byte);
    const LineFrame& result() const { return frame_; }
    void reset();

  private:
    enum class State { Stx, Sequence, Length, Text, Etx, Bcc };
    std::size_t maxText_;
    State state_ = State::Stx;
    std::uint8_t running_ = 0;
    int lengthDigits_ = 0;
    std::size_t length_ = 0;
    std::size_t textSeen_ = 0;
    LineFrame frame_;
};

// Text for the log: printable ASCII as it is, quotes and backslashes escaped, CR LF FF TAB ESC as \r \n
// \f \t \e, every other byte as \xHH.
std::string escapeText(std::string_view text);
std::string hexBytes(std::span<const std::uint8_t> bytes);  // "A4 01 00"

}  // namespace hhtsim
