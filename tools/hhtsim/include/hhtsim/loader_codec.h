// Terminal-side codec for the program loader's traffic: DLE frames, ESC commands, hex-block data lines
// and Intel HEX lines. Pure functions and byte-at-a-time readers, testable from literal bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "hhtsim/terminal_codec.h"

namespace hhtsim {

// DLE frame: DLE STX, body with every 0x10 doubled, DLE ETX, BCC. The BCC is the XOR of the bytes on the
// wire from the first DLE through the ETX, doubled bytes included.
Bytes buildDleFrame(std::span<const std::uint8_t> body);

struct DleFrame {
    Bytes body;  // un-doubled
    std::uint8_t bcc = 0;
    bool bccOk = false;
    bool malformed = false;  // no STX after the opening DLE, a DLE followed by neither DLE nor ETX, or
                             // a body longer than the terminal keeps
};

class DleFrameReader {
  public:
    explicit DleFrameReader(std::size_t maxBody) : maxBody_(maxBody) {}
    // The first byte fed must be the opening DLE.
    FeedStatus feed(std::uint8_t byte);
    const DleFrame& result() const { return frame_; }
    void reset();

  private:
    enum class State { Dle, Stx, Body, AfterDle, Bcc };
    std::size_t maxBody_;
    State state_ = State::Dle;
    std::uint8_t running_ = 0;
    DleFrame frame_;
};

// What a DLE frame body means to the terminal. Command frames start with "QPX" and a command byte;
// anything else is a record: a 24-bit address (high byte first) and the data bytes.
namespace loader {
struct Close {};
struct Erase {
    std::uint8_t block = 0;
};
struct Display {
    std::string text;
};
struct Clock {
    std::array<std::uint8_t, 6> values{};  // year byte, month, day, hour, minute, second
};
struct FlashQuery {};
struct Record {
    std::uint32_t address = 0;
    Bytes data;
};
struct Unknown {
    std::string reason;
};
using Message = std::variant<Close, Erase, Display, Clock, FlashQuery, Record, Unknown>;
}  // namespace loader

loader::Message decodeDleBody(std::span<const std::uint8_t> body);
std::string describe(const loader::Message& message);  // stable log text, e.g. "ERASE block=1"

// ESC commands end at CR. The reader collects the bytes between ESC and CR; a command longer than the
// terminal keeps is reported as overlong when its CR arrives.
class EscCommandReader {
  public:
    explicit EscCommandReader(std::size_t maxBody) : maxBody_(maxBody) {}
    FeedStatus feed(std::uint8_t byte);  // the first byte fed must be the ESC
    const std::string& body() const { return body_; }
    bool overlong() const { return overlong_; }
    void reset();

  private:
    std::size_t maxBody_;
    bool started_ = false;
    bool overlong_ = false;
    std::string body_;
};

// Hex-block data line body (between ESC and CR): 6 hex digits of address, 256 hex digits for 128 bytes,
// 2 hex digits of the XOR of those bytes.
inline constexpr std::size_t kHexBlockBytes = 128;
struct HexBlockLine {
    std::uint32_t address = 0;
    std::array<std::uint8_t, kHexBlockBytes> data{};
    std::uint8_t check = 0;
    bool checkOk = false;
};
std::optional<HexBlockLine> parseHexBlockLine(std::string_view body);

// Intel HEX record line (":LLAAAATT...CC", line end optional).
struct IntelHexRecord {
    std::uint8_t type = 0;
    std::uint16_t offset = 0;
    Bytes data;
    bool checksumOk = false;
};
std::optional<IntelHexRecord> parseIntelHexLine(std::string_view line);

std::optional<std::uint8_t> hexByte(char high, char low);

}  // namespace hhtsim
