#include "hhtsim/terminal_codec.h"

#include <cstdio>

namespace hhtsim {

std::uint8_t xorOf(std::span<const std::uint8_t> bytes) {
    std::uint8_t value = 0;
    for (std::uint8_t b : bytes) {
        value ^= b;
    }
    return value;
}

Bytes toBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes buildLinkFrame(std::string_view textWithLineEnd) {
    Bytes frame;
    frame.reserve(textWithLineEnd.size() + 3);
    frame.push_back(kStx);
    frame.insert(frame.end(), textWithLineEnd.begin(), textWithLineEnd.end());
    frame.push_back(kEtx);
    frame.push_back(xorOf(frame));
    return frame;
}

void LinkFrameReader::reset() {
    state_ = State::Stx;
    running_ = 0;
    frame_ = LinkFrame{};
}

FeedStatus LinkFrameReader::feed(std::uint8_t byte) {
    switch (state_) {
        case State::Stx:
            running_ = byte;
            state_ = State::Text;
            return FeedStatus::More;
        case State::Text:
            running_ ^= byte;
            if (byte == kEtx) {
                state_ = State::Check;
            } else if (frame_.text.size() < maxText_) {
                frame_.text.push_back(static_cast<char>(byte));
            } else {
                frame_.overlong = true;
            }
            return FeedStatus::More;
        case State::Check:
            frame_.check = byte;
            frame_.checkOk = byte == running_ && !frame_.overlong;
            state_ = State::Stx;
            return FeedStatus::Complete;
    }
    return FeedStatus::More;
}

Bytes buildLineFrame(int sequence, std::string_view text) {
    char header[8];
    std::snprintf(header, sizeof header, "%c%04u", '0' + sequence % 10,
                  static_cast<unsigned>(text.size() % 10000));
    Bytes frame;
    frame.reserve(text.size() + 8);
    frame.push_back(kStx);
    for (int i = 0; i < 5; ++i) {
        frame.push_back(static_cast<std::uint8_t>(header[i]));
    }
    for (char c : text) {
        frame.push_back(static_cast<std::uint8_t>(c));
    }
    frame.push_back(kEtx);
    frame.push_back(xorOf(std::span(frame).subspan(1)));
    return frame;
}

void LineFrameReader::reset() {
    state_ = State::Stx;
    running_ = 0;
    lengthDigits_ = 0;
    length_ = 0;
    textSeen_ = 0;
    frame_ = LineFrame{};
}

FeedStatus LineFrameReader::feed(std::uint8_t byte) {
    auto malformed = [this] {
        frame_.malformed = true;
        state_ = State::Stx;
        return FeedStatus::Complete;
    };
    if (state_ != State::Stx && state_ != State::Bcc) {
        running_ ^= byte;
    }
    switch (state_) {
        case State::Stx:
            running_ = 0;
            state_ = State::Sequence;
            return FeedStatus::More;
        case State::Sequence:
            frame_.sequence = (byte >= '0' && byte <= '9') ? byte - '0' : -1;
            state_ = State::Length;
            return FeedStatus::More;
        case State::Length:
            if (byte < '0' || byte > '9') {
                return malformed();
            }
            length_ = length_ * 10 + (byte - '0');
            if (++lengthDigits_ == 4) {
                state_ = length_ == 0 ? State::Etx : State::Text;
            }
            return FeedStatus::More;
        case State::Text:
            if (frame_.text.size() < maxText_) {
                frame_.text.push_back(static_cast<char>(byte));
            }
            if (++textSeen_ == length_) {
                state_ = State::Etx;
            }
            return FeedStatus::More;
        case State::Etx:
            if (byte != kEtx) {
                return malformed();
            }
            state_ = State::Bcc;
            return FeedStatus::More;
        case State::Bcc:
            frame_.bcc = byte;
            frame_.bccOk = byte == running_ && length_ <= maxText_;
            state_ = State::Stx;
            return FeedStatus::Complete;
    }
    return FeedStatus::More;
}

std::string escapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto b = static_cast<std::uint8_t>(c);
        switch (b) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case kCr:
                out += "\\r";
                break;
            case kLf:
                out += "\\n";
                break;
            case 0x0C:
                out += "\\f";
                break;
            case 0x09:
                out += "\\t";
                break;
            case kEsc:
                out += "\\e";
                break;
            default:
                if (b >= 0x20 && b < 0x7F) {
                    out.push_back(c);
                } else {
                    char hex[5];
                    std::snprintf(hex, sizeof hex, "\\x%02X", b);
                    out += hex;
                }
        }
    }
    return out;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", b);
        if (!out.empty()) {
            out.push_back(' ');
        }
        out += hex;
    }
    return out;
}

}  // namespace hhtsim
