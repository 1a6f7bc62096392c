#include "hhtsim/chaos.h"

namespace hhtsim {

namespace {

using std::chrono::milliseconds;

constexpr std::uint8_t kNak = 0x15;
constexpr milliseconds kLateLastByte{300};

// splitmix64: every message's draw depends on the seed and the message number only.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Weights per spoiling, out of their sum. Hang-ups and long pauses end most exchanges, so they are
// rare enough that most runs still complete.
struct Weighted {
    ChaosKind kind;
    unsigned weight;
};
constexpr Weighted kWeights[] = {
    {ChaosKind::NoiseBefore, 14}, {ChaosKind::NoiseAfter, 8}, {ChaosKind::Duplicate, 12},
    {ChaosKind::Drop, 10},        {ChaosKind::DropLast, 8},   {ChaosKind::LateLast, 8},
    {ChaosKind::Late, 10},        {ChaosKind::Wrong, 10},     {ChaosKind::Corrupt, 8},
    {ChaosKind::PauseShort, 5},   {ChaosKind::PauseLong, 4},  {ChaosKind::Drip, 4},
    {ChaosKind::Chatter, 3},      {ChaosKind::HangUp, 3},
};

// On average one message in this many is spoiled: a few per link exchange, a few per load whatever
// the load's length.
std::uint64_t meanGapFor(Role role) {
    switch (role) {
        case Role::Loader:
            return 150;
        case Role::LineLoader:
            return 400;  // any stray byte costs a line load its sync, so fewer
        case Role::RmtLoader:
            return 70;
        default:
            return 6;
    }
}

// Bits of `bits` from `shift` on, as a number below `n`.
std::uint64_t pick(std::uint64_t bits, int shift, std::uint64_t n) {
    return (bits >> shift) % n;
}

bool meaningless(std::uint8_t b) {
    switch (b) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
        case 0x06:
        case 0x0A:
        case 0x0D:
        case 0x10:
        case 0x15:
        case 0x1B:
            return false;
        default:
            return true;
    }
}

std::uint8_t noiseByte(std::uint64_t bits) {
    for (int round = 0; round < 8; ++round) {
        auto b = static_cast<std::uint8_t>(mix(bits + static_cast<std::uint64_t>(round)));
        if (meaningless(b)) {
            return b;
        }
    }
    return 0x00;
}

Bytes noise(std::uint64_t bits) {
    if (pick(bits, 0, 2) == 0) {
        const std::uint8_t b = pick(bits, 1, 2) == 0 ? 0x00 : noiseByte(bits >> 2);
        return {b, b};  // their exclusive-or is zero: a frame's check byte still matches
    }
    Bytes bytes;
    for (std::uint64_t i = 0, n = 1 + pick(bits, 2, 3); i < n; ++i) {
        bytes.push_back(noiseByte(bits + 17 * (i + 1)));
    }
    return bytes;
}

// A printable byte other than `from`, so a changed text byte is neither a control byte nor the same.
std::uint8_t otherPrintable(std::uint8_t from, std::uint64_t bits) {
    auto b = static_cast<std::uint8_t>(0x20 + pick(bits, 0, 95));
    return b == from ? static_cast<std::uint8_t>(b == 0x7E ? 0x20 : b + 1) : b;
}

std::string hex(std::span<const std::uint8_t> bytes) {
    return hexBytes(bytes);
}

}  // namespace

ChaosPlan::ChaosPlan(std::uint64_t seed, Role role) : seed_(seed), meanGap_(meanGapFor(role)) {}

ChaosStep ChaosPlan::step(long message) const {
    const std::uint64_t h = mix(seed_ ^ mix(static_cast<std::uint64_t>(message)));
    if (h % meanGap_ != 0) {
        // Drawn on a stream of its own, so that adding it left every other step of a seed as it was.
        const std::uint64_t deaf = mix(h ^ 0xDEAFDEAFDEAFDEAFULL);
        return deaf % (8 * meanGap_) == 0 ? ChaosStep{ChaosKind::Deaf, mix(deaf)} : ChaosStep{};
    }
    unsigned total = 0;
    for (const auto& w : kWeights) {
        total += w.weight;
    }
    const std::uint64_t draw = mix(h);
    auto at = static_cast<unsigned>(draw % total);
    ChaosKind kind = ChaosKind::None;
    for (const auto& w : kWeights) {
        if (at < w.weight) {
            kind = w.kind;
            break;
        }
        at -= w.weight;
    }
    return {kind, mix(draw)};
}

std::string ChaosPlan::describe(long messages) const {
    std::string text;
    for (long n = 1; n <= messages; ++n) {
        const ChaosStep s = step(n);
        if (s.kind == ChaosKind::None) {
            continue;
        }
        text += "#" + std::to_string(n) + " " + chaosKindName(s.kind) + "\n";
    }
    return text;
}

std::uint8_t wrongAnswerByte(const ChaosStep& step) {
    if (pick(step.bits, 3, 2) == 0) {
        return kNak;
    }
    std::uint8_t b = noiseByte(step.bits >> 5);
    return b == kAck ? kNak : b;
}

ShapedMessage shapeMessage(const ChaosStep& step, MessageKind kind, std::span<const std::uint8_t> bytes) {
    ShapedMessage out;
    const Bytes all(bytes.begin(), bytes.end());
    const std::size_t n = all.size();
    auto whole = [&](milliseconds pause = milliseconds{0}) {
        out.pieces.push_back({pause, all, milliseconds{0}});
        out.delay += pause;
    };
    auto named = [&](std::string what, bool garbled) {
        out.description = chaosKindName(step.kind) + (what.empty() ? "" : " " + what);
        out.garbled = garbled;
    };
    const bool singleByte = n <= 1;
    switch (step.kind) {
        case ChaosKind::None:
            whole();
            return out;
        case ChaosKind::NoiseBefore:
        case ChaosKind::NoiseAfter: {
            const Bytes extra = noise(step.bits);
            Bytes sent = all;
            sent.insert(step.kind == ChaosKind::NoiseBefore ? sent.begin() : sent.end(), extra.begin(),
                        extra.end());
            out.pieces.push_back({milliseconds{0}, sent, milliseconds{0}});
            named(hex(extra), step.kind == ChaosKind::NoiseBefore && kind != MessageKind::Frame);
            return out;
        }
        case ChaosKind::Duplicate:
            if (kind != MessageKind::Answer && kind != MessageKind::End) {
                break;
            }
            whole();
            whole();
            named("", false);
            return out;
        case ChaosKind::Drop:
        case ChaosKind::Deaf:
            named("", true);
            return out;
        case ChaosKind::DropLast:
            if (!singleByte) {
                out.pieces.push_back({milliseconds{0}, Bytes(all.begin(), all.end() - 1), milliseconds{0}});
            }
            named(singleByte ? "(the only byte)" : hex(std::span(&all.back(), 1)), true);
            return out;
        case ChaosKind::LateLast:
            if (!singleByte) {
                out.pieces.push_back({milliseconds{0}, Bytes(all.begin(), all.end() - 1), milliseconds{0}});
            }
            out.pieces.push_back({kLateLastByte, Bytes{all.back()}, milliseconds{0}});
            out.delay = kLateLastByte;
            named(hex(std::span(&all.back(), 1)), true);
            return out;
        case ChaosKind::Late: {
            const milliseconds pause{150 + pick(step.bits, 0, 251)};
            whole(pause);
            named(std::to_string(pause.count()) + " ms", true);
            return out;
        }
        case ChaosKind::Wrong:
        case ChaosKind::Corrupt: {
            if (kind == MessageKind::Identity || n == 0) {
                break;
            }
            Bytes sent = all;
            std::string what;
            if (kind == MessageKind::Answer && step.kind == ChaosKind::Wrong) {
                what = "answer " + hex(sent);  // Terminal put wrongAnswerByte() where the ACK belongs
            } else if (singleByte) {
                sent[0] = kind == MessageKind::End ? kNak : wrongAnswerByte(step);
                what = hex(all) + " as " + hex(sent);
            } else if (step.kind == ChaosKind::Wrong || (kind == MessageKind::Frame && n < 6)) {
                sent.back() ^= static_cast<std::uint8_t>(1 + pick(step.bits, 0, 255));
                what =
                    "check byte " + hex(std::span(&all.back(), 1)) + " as " + hex(std::span(&sent.back(), 1));
            } else {
                // A record frame's text lies between its STX and its CR LF ETX; an answer frame's
                // between its first byte and its last.
                const std::size_t tail = kind == MessageKind::Frame ? 4 : 1;
                const std::size_t at = n > tail + 1 ? 1 + pick(step.bits, 0, n - 1 - tail) : n - 1;
                sent[at] = otherPrintable(all[at], step.bits >> 12);
                what = "byte " + std::to_string(at) + " " + hex(std::span(&all[at], 1)) + " as " +
                       hex(std::span(&sent[at], 1));
            }
            out.pieces.push_back({milliseconds{0}, sent, milliseconds{0}});
            named(what, true);
            return out;
        }
        case ChaosKind::PauseShort:
        case ChaosKind::PauseLong: {
            milliseconds pause{20 + pick(step.bits, 0, 71)};
            if (step.kind == ChaosKind::PauseLong) {
                pause = milliseconds{pick(step.bits, 8, 10) < 7 ? 1000 + pick(step.bits, 0, 2001)
                                                                : 5200 + pick(step.bits, 0, 801)};
            }
            whole(pause);
            named(std::to_string(pause.count()) + " ms", step.kind == ChaosKind::PauseLong);
            return out;
        }
        case ChaosKind::Drip: {
            const milliseconds drip{5 + pick(step.bits, 0, 26)};
            out.pieces.push_back({milliseconds{0}, all, drip});
            out.delay = drip * static_cast<long>(n > 0 ? n - 1 : 0);
            named(std::to_string(drip.count()) + " ms", !singleByte);
            return out;
        }
        case ChaosKind::Chatter: {
            static constexpr char kUnasked[] = "HHT READY\r\n";
            Bytes sent(kUnasked, kUnasked + sizeof kUnasked - 1);
            sent.insert(sent.end(), all.begin(), all.end());
            out.pieces.push_back({milliseconds{0}, sent, milliseconds{0}});
            named("", kind != MessageKind::Frame);
            return out;
        }
        case ChaosKind::HangUp:
            named("", true);
            return out;
    }
    whole();  // a spoiling this kind of message cannot take
    return out;
}

const char* chaosKindName(ChaosKind kind) {
    switch (kind) {
        case ChaosKind::None:
            return "none";
        case ChaosKind::NoiseBefore:
            return "noise-before";
        case ChaosKind::NoiseAfter:
            return "noise-after";
        case ChaosKind::Duplicate:
            return "duplicate";
        case ChaosKind::Drop:
            return "drop";
        case ChaosKind::DropLast:
            return "drop-last";
        case ChaosKind::LateLast:
            return "late-last";
        case ChaosKind::Late:
            return "late";
        case ChaosKind::Wrong:
            return "wrong";
        case ChaosKind::Corrupt:
            return "corrupt";
        case ChaosKind::PauseShort:
            return "pause-short";
        case ChaosKind::PauseLong:
            return "pause-long";
        case ChaosKind::Drip:
            return "drip";
        case ChaosKind::Chatter:
            return "chatter";
        case ChaosKind::HangUp:
            return "hang-up";
        case ChaosKind::Deaf:
            return "deaf";
    }
    return "?";
}

}  // namespace hhtsim
