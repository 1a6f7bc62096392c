// The hex-block loader terminal. Every message is ESC ... CR: the first query ESC "XLT" 0x0B, which
// this terminal answers with "RMT" and its identification; ESC "XLT" n CR with n 0-7 to erase the
// 16 KiB block n above 0x200000; 8 start of data; 9 end of data; 10 the final command; 0x0C with twelve
// digits YYMMDDhhmmss the clock; and data lines of 6 hex address digits, 256 hex digits for 128 bytes
// and 2 hex digits of the bytes' XOR. Each is answered with ACK; a data line whose XOR is wrong is not.
#include "hhtsim/loader_codec.h"
#include "hhtsim/roles.h"

namespace hhtsim {

namespace {
constexpr std::size_t kMaxCommandBytes = 300;  // a data line is 264 bytes between ESC and CR
constexpr std::size_t kAnswerBytes = 10;       // the host reads at most this much of the answer
constexpr std::uint32_t kBlockBase = 0x200000;
constexpr std::uint32_t kBlockBytes = 16 * 1024;
constexpr std::uint8_t kFirstQuery = 0x0B;
constexpr std::uint8_t kStartData = 0x08;
constexpr std::uint8_t kEndData = 0x09;
constexpr std::uint8_t kFinal = 0x0A;
constexpr std::uint8_t kClock = 0x0C;
constexpr std::size_t kClockDigits = 12;

std::string answerFor(std::string ident) {
    if (ident.size() < 3 ||
        !(std::toupper(ident[0]) == 'R' && std::toupper(ident[1]) == 'M' && std::toupper(ident[2]) == 'T')) {
        ident = "RMT" + ident;
    }
    return ident.substr(0, kAnswerBytes);
}

bool allDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}
}  // namespace

Outcome runRmtLoader(Session& session) {
    Terminal& terminal = session.terminal;
    EventLog& log = terminal.log();
    const std::string answer = answerFor(session.options.ident.value_or(defaultIdent(Role::RmtLoader)));
    EscCommandReader command(kMaxCommandBytes);
    bool started = false;
    Outcome end = Outcome::Abandoned;

    auto finish = [&](Outcome outcome) {
        if (started && !role::saveFlash(session) && outcome == Outcome::Completed) {
            return Outcome::Failed;
        }
        return outcome;
    };
    auto ack = [&] { return terminal.answerAck(role::plainAck, "ACK"); };

    for (;;) {
        auto byte = role::next(session, started, end);
        if (!byte) {
            return finish(end);
        }
        if (*byte != kEsc) {
            role::logStray(session, *byte);
            continue;
        }
        if (!started) {
            log.note("SESSION rmt-loader");
            log.record("SESSION rmt-loader");
        }
        started = true;
        if (!role::readWhole(session, command, *byte, end)) {
            return finish(end);
        }
        const std::string& body = command.body();
        Permit permit = Permit::Go;
        char text[64];

        if (command.overlong()) {
            log.rx("COMMAND overlong");
            log.note("NO ACK: command refused");
        } else if (body.size() == 4 && body.compare(0, 3, "XLT") == 0) {
            auto code = static_cast<std::uint8_t>(body[3]);
            std::snprintf(text, sizeof text, "CMD XLT 0x%02X", code);
            log.rx(text);
            if (code == kFirstQuery) {
                Bytes bytes(answer.begin(), answer.end());
                permit = terminal.answer(bytes, "IDENT \"" + escapeText(answer) + "\"");
            } else if (code < kStartData) {
                std::uint32_t first = kBlockBase + code * kBlockBytes;
                session.flash.erase(first, first + kBlockBytes);
                std::snprintf(text, sizeof text, "ERASED %06X-%06X", first, first + kBlockBytes - 1);
                log.note(text);
                permit = ack();
            } else if (code == kStartData || code == kEndData) {
                permit = ack();
            } else if (code == kFinal) {
                permit = ack();
                if (permit != Permit::LineGone) {
                    log.note("SESSION END");
                    return finish(Outcome::Completed);
                }
            } else {
                log.note("NO ACK: unknown command");
            }
        } else if (body.size() == 4 + kClockDigits && body.compare(0, 3, "XLT") == 0 &&
                   static_cast<std::uint8_t>(body[3]) == kClock &&
                   allDigits(std::string_view(body).substr(4))) {
            log.rx("CLOCK " + body.substr(4));
            permit = ack();
        } else if (auto line = parseHexBlockLine(body)) {
            std::snprintf(text, sizeof text, "DATA %06X xor=%s", line->address, line->checkOk ? "OK" : "BAD");
            log.rx(text);
            if (line->checkOk) {
                session.flash.write(line->address, line->data);
                permit = ack();
            } else {
                log.note("NO ACK: check byte refused");
            }
        } else if (body == "Z1") {
            // Asked right after the first query; the answer to that one already went out.
            log.rx("IDENT-QUERY");
        } else {
            log.rx("COMMAND \"" + escapeText(body) + "\"");
            log.note("NO ACK: unknown command");
        }
        if (permit == Permit::LineGone) {
            return finish(Outcome::HungUp);
        }
    }
}

}  // namespace hhtsim
