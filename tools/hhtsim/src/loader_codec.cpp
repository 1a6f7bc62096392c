#include "hhtsim/loader_codec.h"

#include <cstdio>

namespace hhtsim {

namespace {
constexpr std::string_view kCommandTag = "QPX";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}
}  // namespace

std::optional<std::uint8_t> hexByte(char high, char low) {
    int h = hexDigit(high);
    int l = hexDigit(low);
    if (h < 0 || l < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(h * 16 + l);
}

Bytes buildDleFrame(std::span<const std::uint8_t> body) {
    Bytes frame{kDle, kStx};
    for (std::uint8_t b : body) {
        frame.push_back(b);
        if (b == kDle) {
            frame.push_back(b);
        }
    }
    frame.push_back(kDle);
    frame.push_back(kEtx);
    frame.push_back(xorOf(frame));
    return frame;
}

void DleFrameReader::reset() {
    state_ = State::Dle;
    running_ = 0;
    frame_ = DleFrame{};
}

FeedStatus DleFrameReader::feed(std::uint8_t byte) {
    if (state_ != State::Bcc) {
        running_ ^= byte;
    }
    switch (state_) {
        case State::Dle:
            running_ = byte;
            state_ = State::Stx;
            return FeedStatus::More;
        case State::Stx:
            if (byte != kStx) {
                frame_.malformed = true;
            }
            state_ = State::Body;
            return FeedStatus::More;
        case State::Body:
            if (byte == kDle) {
                state_ = State::AfterDle;
            } else if (frame_.body.size() < maxBody_) {
                frame_.body.push_back(byte);
            } else {
                frame_.malformed = true;
            }
            return FeedStatus::More;
        case State::AfterDle:
            if (byte == kEtx) {
                state_ = State::Bcc;
                return FeedStatus::More;
            }
            // A lone DLE before anything but DLE or ETX breaks the stuffing rule; keep the byte so the
            // frame still ends at its DLE ETX, and refuse the frame there.
            if (byte != kDle) {
                frame_.malformed = true;
            }
            if (frame_.body.size() < maxBody_) {
                frame_.body.push_back(byte);
            } else {
                frame_.malformed = true;
            }
            state_ = State::Body;
            return FeedStatus::More;
        case State::Bcc:
            frame_.bcc = byte;
            frame_.bccOk = byte == running_;
            state_ = State::Dle;
            return FeedStatus::Complete;
    }
    return FeedStatus::More;
}

loader::Message decodeDleBody(std::span<const std::uint8_t> body) {
    using namespace loader;
    bool tagged =
        body.size() >= 4 && std::string_view(reinterpret_cast<const char*>(body.data()), 3) == kCommandTag;
    if (!tagged) {
        if (body.size() < 3) {
            return Unknown{"record shorter than its address"};
        }
        Record record;
        record.address = static_cast<std::uint32_t>(body[0] << 16 | body[1] << 8 | body[2]);
        record.data.assign(body.begin() + 3, body.end());
        return record;
    }
    auto payload = body.subspan(4);
    switch (body[3]) {
        case 0x01:
            if (payload.size() != 1) {
                return Unknown{"erase frame without exactly one block byte"};
            }
            return Erase{payload[0]};
        case 0x02: {
            if (payload.empty() || payload.back() != 0x00) {
                return Unknown{"display text without its end byte"};
            }
            return Display{std::string(payload.begin(), payload.end() - 1)};
        }
        case 0x03:
            if (!payload.empty()) {
                return Unknown{"close frame with a payload"};
            }
            return Close{};
        case 0x04: {
            if (payload.size() != 6) {
                return Unknown{"clock frame without six values"};
            }
            Clock clock;
            std::copy(payload.begin(), payload.end(), clock.values.begin());
            return clock;
        }
        case 0x05:
            if (!payload.empty()) {
                return Unknown{"flash query with a payload"};
            }
            return FlashQuery{};
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "command 0x%02X", body[3]);
            return Unknown{text};
        }
    }
}

std::string describe(const loader::Message& message) {
    using namespace loader;
    char text[64];
    if (std::holds_alternative<Close>(message)) {
        return "CLOSE";
    }
    if (std::holds_alternative<FlashQuery>(message)) {
        return "FLASHQUERY";
    }
    if (auto* erase = std::get_if<Erase>(&message)) {
        std::snprintf(text, sizeof text, "ERASE block=%u", erase->block);
        return text;
    }
    if (auto* display = std::get_if<Display>(&message)) {
        return "DISPLAY \"" + escapeText(display->text) + "\"";
    }
    if (auto* clock = std::get_if<Clock>(&message)) {
        const auto& v = clock->values;
        std::snprintf(text, sizeof text, "CLOCK %02u-%02u-%02u %02u:%02u:%02u", v[0], v[1], v[2], v[3], v[4],
                      v[5]);
        return text;
    }
    if (auto* record = std::get_if<Record>(&message)) {
        std::snprintf(text, sizeof text, "RECORD %06X len=%zu", record->address, record->data.size());
        return text;
    }
    return "UNKNOWN " + std::get<Unknown>(message).reason;
}

void EscCommandReader::reset() {
    started_ = false;
    overlong_ = false;
    body_.clear();
}

FeedStatus EscCommandReader::feed(std::uint8_t byte) {
    if (!started_) {
        started_ = true;
        return FeedStatus::More;
    }
    if (byte == kCr) {
        started_ = false;
        return FeedStatus::Complete;
    }
    if (body_.size() < maxBody_) {
        body_.push_back(static_cast<char>(byte));
    } else {
        overlong_ = true;
    }
    return FeedStatus::More;
}

std::optional<HexBlockLine> parseHexBlockLine(std::string_view body) {
    constexpr std::size_t kAddressDigits = 6;
    if (body.size() != kAddressDigits + 2 * kHexBlockBytes + 2) {
        return std::nullopt;
    }
    HexBlockLine line;
    for (std::size_t i = 0; i < kAddressDigits; ++i) {
        int digit = hexDigit(body[i]);
        if (digit < 0) {
            return std::nullopt;
        }
        line.address = line.address << 4 | static_cast<std::uint32_t>(digit);
    }
    std::uint8_t running = 0;
    for (std::size_t i = 0; i < kHexBlockBytes; ++i) {
        auto b = hexByte(body[kAddressDigits + 2 * i], body[kAddressDigits + 2 * i + 1]);
        if (!b) {
            return std::nullopt;
        }
        line.data[i] = *b;
        running ^= *b;
    }
    auto check = hexByte(body[body.size() - 2], body[body.size() - 1]);
    if (!check) {
        return std::nullopt;
    }
    line.check = *check;
    line.checkOk = *check == running;
    return line;
}

std::optional<IntelHexRecord> parseIntelHexLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0) {
        return std::nullopt;
    }
    Bytes raw;
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
        auto b = hexByte(line[i], line[i + 1]);
        if (!b) {
            return std::nullopt;
        }
        raw.push_back(*b);
    }
    if (raw.size() != static_cast<std::size_t>(raw[0]) + 5) {
        return std::nullopt;
    }
    IntelHexRecord record;
    record.offset = static_cast<std::uint16_t>(raw[1] << 8 | raw[2]);
    record.type = raw[3];
    record.data.assign(raw.begin() + 4, raw.end() - 1);
    std::uint8_t sum = 0;
    for (std::uint8_t b : raw) {
        sum = static_cast<std::uint8_t>(sum + b);
    }
    record.checksumOk = sum == 0;
    return record;
}

}  // namespace hhtsim
