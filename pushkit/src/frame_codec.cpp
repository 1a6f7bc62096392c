#include "frame_codec.h"

#include <cstdio>

#include "pushkit/image/image_scans.h"

namespace pushkit {

namespace {

constexpr std::uint8_t kCommandTag[] = {'Q', 'P', 'X'};

constexpr int kCenturyStart = 2000;
constexpr int kPreviousCenturyStart = 1900;

// The terminal takes a 0x10 inside a frame as the start of DLE ETX unless it is doubled.
void appendStuffed(Frame& frame, std::uint8_t b) {
    frame.push_back(b);
    if (b == kDle) {
        frame.push_back(kDle);
    }
}

void appendStuffed(Frame& frame, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) {
        appendStuffed(frame, b);
    }
}

void closeDleFrame(Frame& frame) {
    frame.push_back(kDle);
    frame.push_back(kEtx);
    frame.push_back(xorOf(frame));
}

Frame dleFrame(std::span<const std::uint8_t> head, std::span<const std::uint8_t> body) {
    Frame frame;
    frame.reserve(head.size() + 2 * body.size() + 5);
    frame.push_back(kDle);
    frame.push_back(kStx);
    for (const std::uint8_t b : head) {
        frame.push_back(b);
    }
    appendStuffed(frame, body);
    closeDleFrame(frame);
    return frame;
}

char upperHexDigit(unsigned value) {
    return "0123456789ABCDEF"[value & 0x0F];
}

void appendHexByte(std::string& text, std::uint8_t value) {
    text.push_back(upperHexDigit(value >> 4U));
    text.push_back(upperHexDigit(value));
}

}  // namespace

std::uint8_t xorOf(std::span<const std::uint8_t> bytes) {
    std::uint8_t check = 0;
    for (const std::uint8_t b : bytes) {
        check ^= b;
    }
    return check;
}

Frame commandFrame(FrameCommand command, std::span<const std::uint8_t> payload) {
    const std::uint8_t head[] = {kCommandTag[0], kCommandTag[1], kCommandTag[2],
                                 static_cast<std::uint8_t>(command)};
    return dleFrame(head, payload);
}

Frame eraseFrame(std::uint8_t block) {
    const std::uint8_t payload[] = {block};
    return commandFrame(FrameCommand::Erase, payload);
}

Frame displayFrame(std::string_view text) {
    std::vector<std::uint8_t> payload(text.begin(), text.end());
    payload.push_back(0x00);
    return commandFrame(FrameCommand::Display, payload);
}

Frame closeFrame() {
    return commandFrame(FrameCommand::Close, {});
}

Frame flashQueryFrame() {
    return commandFrame(FrameCommand::FlashQuery, {});
}

std::uint8_t clockYearByte(int year) {
    return static_cast<std::uint8_t>(year < kCenturyStart ? year - kPreviousCenturyStart
                                                          : year - kCenturyStart);
}

Frame clockFrame(const LocalTime& time) {
    const std::uint8_t payload[] = {clockYearByte(time.year),
                                    static_cast<std::uint8_t>(time.month),
                                    static_cast<std::uint8_t>(time.day),
                                    static_cast<std::uint8_t>(time.hour),
                                    static_cast<std::uint8_t>(time.minute),
                                    static_cast<std::uint8_t>(time.second)};
    return commandFrame(FrameCommand::Clock, payload);
}

std::optional<Frame> recordFrame(std::string_view line) {
    if (!isS2Record(line)) {
        return std::nullopt;
    }
    // The terminal writes a record frame's bytes from the address in its first three: a frame
    // without a whole address would put data where nobody meant it.
    const S2Fields fields = parseS2(line);
    if (!fields.hasAddress) {
        return std::nullopt;
    }
    // Decoded straight into the frame: an image has tens of thousands of records.
    Frame frame;
    frame.reserve(2 * fields.carried + 5);
    frame.push_back(kDle);
    frame.push_back(kStx);
    for (std::size_t i = 0; i < fields.carried; ++i) {
        appendStuffed(frame, hexByte(line, kS2AddressField + 2 * i));
    }
    closeDleFrame(frame);
    return frame;
}

Frame lineFrame(std::string_view text, unsigned sequence) {
    const std::size_t length = text.size();
    Frame frame;
    frame.reserve(length + 8);
    frame.push_back(kStx);
    frame.push_back(static_cast<std::uint8_t>('0' + sequence % 10));
    for (const std::size_t unit : {1000U, 100U, 10U, 1U}) {
        frame.push_back(static_cast<std::uint8_t>('0' + length / unit % 10));
    }
    for (const char c : text) {
        frame.push_back(static_cast<std::uint8_t>(c));
    }
    frame.push_back(kEtx);
    frame.push_back(xorOf(std::span(frame).subspan(1)));
    return frame;
}

std::string hexBlockCommand(std::uint8_t command) {
    std::string text{kEsc, 'X', 'L', 'T'};
    text.push_back(static_cast<char>(command));
    text.push_back('\r');
    return text;
}

std::string hexBlockClockCommand(const LocalTime& time) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d%02d%02d%02d", time.year % 100, time.month, time.day,
                  time.hour, time.minute, time.second);
    return hexBlockCommand(kHexClock).insert(5, digits);
}

std::string hexBlockLine(std::uint32_t address, const HexBlockData& data) {
    char head[16];
    std::snprintf(head, sizeof head, "%c%06lX", kEsc, static_cast<unsigned long>(address));
    std::string line = head;
    for (const std::uint8_t b : data) {
        appendHexByte(line, b);
    }
    appendHexByte(line, xorOf(data));
    line.push_back('\r');
    return line;
}

}  // namespace pushkit
