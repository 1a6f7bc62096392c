#include "hhtsim/terminal.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace hhtsim {

namespace {
// The INI send reads its answer 100 ms after writing a frame; some margin below that.
constexpr std::chrono::milliseconds kHostReadWindow{80};
}  // namespace

std::chrono::nanoseconds Terminal::characterTime() const {
    CharacterFormat format = line_.hostFormat().value_or(CharacterFormat{});
    if (const auto& forced = misbehaviour_.format) {
        format.dataBits = forced->dataBits;
        format.parity = forced->parity;
        format.stopBits = forced->stopBits;
    }
    if (misbehaviour_.baud) {
        format.baud = *misbehaviour_.baud;
    }
    return format.characterTime();
}

bool Terminal::waitUntil(WireClock::time_point at) {
    const WireClock::time_point now = line_.now();
    return at <= now || line_.pause(at - now);
}

ReadResult Terminal::read(std::optional<std::chrono::milliseconds> timeout) {
    if (!unread_.empty()) {
        ReadResult result{ReadStatus::Byte, unread_.front()};
        unread_.pop_front();
        return result;
    }
    if (hungUp_) {
        return {ReadStatus::HungUp};
    }
    ReadResult result = line_.read(timeout);
    if (result.status != ReadStatus::Byte) {
        answerFrom_ = line_.now();
        return result;
    }
    answerFrom_ = result.arrivedAt;
    if (misbehaviour_.baudThrottle) {
        // The host can change its settings only between its bursts, so they are looked at again
        // when a byte finds the wire idle.
        if (!character_ || result.arrivedAt >= fromHost_.end()) {
            character_ = characterTime();
        }
        answerFrom_ = fromHost_.carry(result.arrivedAt, *character_);
        if (answerFrom_ > line_.now() && !line_.sleepUntil(answerFrom_)) {
            return {ReadStatus::Stopped};
        }
    }
    log_.wireIn(answerFrom_);
    return result;
}

Permit Terminal::permit(std::string_view what) {
    if (hungUp_) {
        return Permit::LineGone;
    }
    ++framesCounted_;
    step_ = chaos_ ? chaos_->step(framesCounted_) : ChaosStep{};
    if (step_.kind == ChaosKind::HangUp) {
        const std::string event = "CHAOS #" + std::to_string(framesCounted_) + " hang-up";
        log_.note(event);
        log_.record(event);
        line_.hangUp();
        hungUp_ = true;
        return Permit::LineGone;
    }
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

bool Terminal::missesFrame() {
    if (!chaos_ || hungUp_ || chaos_->step(framesCounted_ + 1).kind != ChaosKind::Deaf) {
        return false;
    }
    ++framesCounted_;
    const std::string event = "CHAOS #" + std::to_string(framesCounted_) + " deaf";
    log_.note(event);
    log_.record(event);
    return true;
}

// A write that fails while the line is still up (a stop request, a host that stopped reading) loses the
// answer but not the line: the conversation goes on and the next read tells what happened.
Permit Terminal::delivered(bool sent) const {
    if (sent) {
        return Permit::Go;
    }
    return hungUp_ ? Permit::LineGone : Permit::Withheld;
}

bool Terminal::chatterFirst() {
    if (!misbehaviour_.chatter || chattered_) {
        return true;
    }
    chattered_ = true;
    static constexpr std::uint8_t kUnasked[] = {'H', 'H', 'T', ' ', 'R', 'E', 'A', 'D', 'Y', '\r', '\n'};
    return transmit(kUnasked, "CHATTER", misbehaviour_.drip);
}

Permit Terminal::answerAck(const std::function<Bytes(std::uint8_t)>& build, std::string_view what) {
    Permit permitted = permit(what);
    if (permitted != Permit::Go) {
        return permitted;
    }
    if (!chatterFirst()) {
        return delivered(false);
    }
    std::uint8_t ack = misbehaviour_.wrongAck.value_or(kAck);
    if (step_.kind == ChaosKind::Wrong) {
        ack = wrongAnswerByte(step_);
    }
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
    if (permitted != Permit::Go) {
        return permitted;
    }
    if (!chatterFirst()) {
        return delivered(false);
    }
    return delivered(send(bytes, what, MessageKind::Identity));
}

bool Terminal::send(std::span<const std::uint8_t> bytes, std::string_view what, MessageKind kind) {
    const ChaosStep step = std::exchange(step_, ChaosStep{});
    // An answer that leaves later than the host reads for it (the terminal was busy pausing while the
    // host wrote) misses the host as surely as a lost one.
    const bool late = kind == MessageKind::Answer && line_.now() - answerFrom_ > kHostReadWindow;
    if (step.kind == ChaosKind::None) {
        lastGarbled_ = late;
        return transmit(bytes, what, misbehaviour_.drip);
    }
    const ShapedMessage shaped = shapeMessage(step, kind, bytes);
    lastGarbled_ = shaped.garbled || late;
    if (!shaped.description.empty()) {
        std::string event = "CHAOS #" + std::to_string(framesCounted_) + " " + shaped.description;
        if (shaped.delay.count() > 0) {
            event += " delay=" + std::to_string(shaped.delay.count());
        }
        log_.note(event);
        log_.record(event);
    }
    if (shaped.pieces.empty() && !hungUp_) {
        log_.tx(std::string(what) + " LOST");
    }
    for (const ChaosPiece& piece : shaped.pieces) {
        if (piece.pause.count() > 0 && !pause(piece.pause)) {
            return false;
        }
        if (!transmit(piece.bytes, what, std::max(piece.drip, misbehaviour_.drip))) {
            return false;
        }
    }
    return !hungUp_;
}

bool Terminal::transmit(std::span<const std::uint8_t> bytes, std::string_view what,
                        std::chrono::milliseconds drip) {
    if (hungUp_) {
        return false;
    }
    log_.tx(what);
    const bool throttled = misbehaviour_.baudThrottle;
    if (!throttled && drip.count() == 0) {
        if (!line_.write(bytes)) {
            return false;
        }
        log_.wireOut(bytes.size(), what, line_.now());
        return true;
    }
    // A terminal answers at once: the answer is ready when the last byte it answers was whole, and
    // the time this program spent on the message does not count. Each byte starts when the wire is
    // free and is written when it is whole at the host's end.
    WireClock::time_point ready = std::min(answerFrom_, line_.now());
    if (throttled) {
        character_ = characterTime();
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (throttled && !waitUntil(toHost_.carry(ready, *character_))) {
            return false;
        }
        if (!line_.write(bytes.subspan(i, 1))) {
            return false;
        }
        if (drip.count() > 0 && i + 1 < bytes.size()) {
            if (!line_.pause(drip)) {
                return false;
            }
            ready = line_.now();
        }
    }
    answerFrom_ = ready;
    log_.wireOut(bytes.size(), what, throttled ? toHost_.end() : line_.now());
    return true;
}

}  // namespace hhtsim
