// --chaos SEED: a terminal that misbehaves at random, the same way for the same seed. Every message the
// terminal sends (an answer, a record frame, its EOT) has a number, counted from 1 as the misbehaviour
// switches count them; the plan says, from the seed and that number alone, whether the message is
// spoiled and how. The host's own timing therefore cannot change what happens to message n, only how
// many messages there are.
//
// Spoiling keeps a wrong byte detectable where the protocol can detect it: a corrupted frame has one
// text byte changed into another printable one, so its check byte no longer matches; noise is drawn
// from bytes no exchange gives a meaning to (no SOH, STX, ETX, EOT, ACK, NAK, DLE, ESC, CR or LF),
// except the equal pairs such as two NULs, whose exclusive-or is zero.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hhtsim/options.h"
#include "hhtsim/terminal_codec.h"

namespace hhtsim {

enum class ChaosKind {
    None,
    NoiseBefore,  // extra bytes just before the message
    NoiseAfter,   // extra bytes just after it, left waiting for the host's next read
    Duplicate,    // the answer twice
    Drop,         // lost on the line
    DropLast,     // its last byte lost (a frame's check byte)
    LateLast,     // its last byte 300 ms after the rest
    Late,         // the whole message after the host's read window
    Wrong,        // another byte where the ACK belongs; a frame's wrong check byte
    Corrupt,      // one byte changed
    PauseShort,   // a pause well within the host's time-outs
    PauseLong,    // a pause about as long as the host's time-outs, or longer
    Drip,         // a pause between the message's bytes
    Chatter,      // a line of text of its own before the message
    HangUp,       // the line closed instead
    // The terminal misses the host's frame: takes nothing in and answers nothing. Where a role does
    // not ask (Terminal::missesFrame), the answer is lost as with Drop.
    Deaf,
};

// What a message is decides which spoiling it can take: an identification has no check of its own,
// so it is never corrupted (the host could not tell), and only an answer is sent twice.
enum class MessageKind { Answer, Identity, Frame, End };

struct ChaosStep {
    ChaosKind kind = ChaosKind::None;
    std::uint64_t bits = 0;  // the random bits that choose the details (bytes, durations)
};

// The message as it goes out: each piece after its pause, its bytes `drip` apart.
struct ChaosPiece {
    std::chrono::milliseconds pause{0};
    Bytes bytes;
    std::chrono::milliseconds drip{0};
};

struct ShapedMessage {
    std::vector<ChaosPiece> pieces;
    std::string description;  // "" when the message goes out as it is
    // The host cannot have taken the message for what the terminal meant: lost, late, wrong or broken.
    bool garbled = false;
    std::chrono::milliseconds delay{0};  // what the spoiling adds to the exchange's time
};

class ChaosPlan {
  public:
    ChaosPlan(std::uint64_t seed, Role role);

    ChaosStep step(long message) const;
    std::uint64_t seed() const { return seed_; }
    // One line per spoiled message among the first `messages`: "#7 late 230 ms".
    std::string describe(long messages) const;

  private:
    std::uint64_t seed_;
    std::uint64_t meanGap_;  // one message in this many is spoiled, on average
};

// The byte a Wrong step puts where the ACK belongs.
std::uint8_t wrongAnswerByte(const ChaosStep& step);

ShapedMessage shapeMessage(const ChaosStep& step, MessageKind kind, std::span<const std::uint8_t> bytes);

const char* chaosKindName(ChaosKind kind);

}  // namespace hhtsim
