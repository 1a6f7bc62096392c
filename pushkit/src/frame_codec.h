// The bytes of every frame and command the loader sends, as pure functions: no port, no clock.
// The conversations (handshakes, retries, progress) live in the transfer files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "port.h"
#include "pushkit/image/hex_block_layout.h"

namespace pushkit {

using Frame = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kDle = 0x10;
inline constexpr char kEsc = '\x1b';

// ESC "Z1" CR asks the terminal for its identification; every loader takes it.
inline constexpr std::string_view kIdentQuery = "\x1bZ1\r";

// ---- Framed protocol: DLE STX ... DLE ETX BCC, every 0x10 between head and tail doubled. ----

// Command bytes after the "QPX" tag.
enum class FrameCommand : std::uint8_t {
    Erase = 0x01,
    Display = 0x02,
    Close = 0x03,
    Clock = 0x04,
    FlashQuery = 0x05
};

// XOR of every byte given; the framed protocol takes it over DLE STX through ETX as sent.
std::uint8_t xorOf(std::span<const std::uint8_t> bytes);

Frame commandFrame(FrameCommand command, std::span<const std::uint8_t> payload);
Frame eraseFrame(std::uint8_t block);
// The terminal's display shows `text`; it needs the 0x00 after it.
Frame displayFrame(std::string_view text);
Frame closeFrame();
Frame flashQueryFrame();
Frame clockFrame(const LocalTime& time);
// The terminal's clock takes the year within its century: 1900s and 2000s alike.
std::uint8_t clockYearByte(int year);

// An S2 line as a record frame: the bytes the record carries (parseS2), address first, never its
// checksum. Lines that are not S2 records, or that do not hold a whole address, give no frame.
std::optional<Frame> recordFrame(std::string_view line);

// ---- Line protocol: STX, sequence digit, 4 length digits, text, ETX, BCC over all after STX. ----

Frame lineFrame(std::string_view text, unsigned sequence);

// ---- Hex-block protocol: text commands and lines, sent as characters. ----

enum HexBlockCommand : std::uint8_t {
    kHexStartOfData = 8,
    kHexEndOfData = 9,
    kHexFinal = 10,
    kHexFirstQuery = 11,
    kHexClock = 12,
};

// ESC "XLT", the command byte, CR.
std::string hexBlockCommand(std::uint8_t command);
// ESC "XLT" 0x0C YYMMDDhhmmss CR, the year modulo 100.
std::string hexBlockClockCommand(const LocalTime& time);
// ESC, 6 address digits, 256 data digits, 2 digits of the XOR of the 128 bytes, CR: 266 characters.
std::string hexBlockLine(std::uint32_t address, const HexBlockData& data);

}  // namespace pushkit
