#include "hhtsim/terminal.h"

#include <cstdio>

namespace hhtsim {

namespace {
constexpr int kDefaultBaud = 19200;
constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
}  // namespace

ReadResult Terminal::read(std::optional<std::chrono::milliseconds> timeout) {
    if (!unread_.empty()) {
        ReadResult result{ReadStatus::Byte, unread_.front()};
        unread_.pop_front();
        return result;
    }
    if (hungUp_)
        return {ReadStatus::HungUp};
    return line_.read(timeout);
}

Permit Terminal::permit(std::string_view what) {
    if (hungUp_)
        return Permit::LineGone;
    ++framesCounted_;
    if (misbehaviour_.hangupAfter && framesCounted_ > *misbehaviour_.hangupAfter) {
        line_.hangUp();
        hungUp_ = true;
        return Permit::LineGone;
    }
    if (misbehaviour_.silent || (misbehaviour_.stopAfter && framesCounted_ > *misbehaviour_.stopAfter)) {
        log_.note("WITHHELD " + std::string(what));
        return Permit::Withheld;
    }
    return Permit::Go;
}

// A write that fails while the line is still up (a stop request, a host that stopped reading) loses the
// answer but not the line: the conversation goes on and the next read tells what happened.
Permit Terminal::delivered(bool sent) const {
    if (sent)
        return Permit::Go;
    return hungUp_ ? Permit::LineGone : Permit::Withheld;
}

Permit Terminal::answerAck(const std::function<Bytes(std::uint8_t)>& build, std::string_view what) {
    Permit permitted = permit(what);
    if (permitted != Permit::Go)
        return permitted;
    std::uint8_t ack = misbehaviour_.wrongAck.value_or(kAck);
    std::string label(what);
    if (ack != kAck) {
        char text[24];
        std::snprintf(text, sizeof text, " wrong-ack=0x%02X", ack);
        label += text;
    }
    return delivered(send(build(ack), label));
}

Permit Terminal::answer(std::span<const std::uint8_t> bytes, std::string_view what) {
    Permit permitted = permit(what);
    if (permitted != Permit::Go)
        return permitted;
    return delivered(send(bytes, what));
}

bool Terminal::send(std::span<const std::uint8_t> bytes, std::string_view what) {
    if (hungUp_)
        return false;
    log_.tx(what);
    bool paced = misbehaviour_.baudThrottle || misbehaviour_.drip.count() > 0;
    if (!paced)
        return line_.write(bytes);

    int baud = misbehaviour_.baud.value_or(line_.hostBaud().value_or(kDefaultBaud));
    auto byteTime = std::chrono::microseconds(kBitsPerByte * 1000000 / baud);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (misbehaviour_.baudThrottle) {
            // A byte leaves only when the previous one has finished on the wire.
            auto now = std::chrono::steady_clock::now();
            if (lineFreeAt_ > now &&
                !line_.pause(std::chrono::duration_cast<std::chrono::microseconds>(lineFreeAt_ - now)))
                return false;
            lineFreeAt_ = std::max(lineFreeAt_, std::chrono::steady_clock::now()) + byteTime;
        }
        if (!line_.write(bytes.subspan(i, 1)))
            return false;
        if (misbehaviour_.drip.count() > 0 && i + 1 < bytes.size() && !line_.pause(misbehaviour_.drip))
            return false;
    }
    return true;
}

}  // namespace hhtsim
