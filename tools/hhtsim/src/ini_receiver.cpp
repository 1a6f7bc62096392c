// Receiving an INI file: the host asks for the link with SOH, sends one frame per line (STX, the line
// with its CR LF, ETX, check byte) and ends with EOT. The check byte is the XOR of every byte from the
// STX through the ETX; a frame whose check byte differs gets no answer, and the host sends it again.
#include "hhtsim/roles.h"

namespace hhtsim {

namespace {
// The longest line the terminal keeps; the terminal application's records are 42 characters.
constexpr std::size_t kMaxLineBytes = 4096;
}  // namespace

Outcome runIniReceiver(Session& session, bool sohAnswered) {
    Terminal& terminal = session.terminal;
    EventLog& log = terminal.log();
    Outcome end = Outcome::Abandoned;

    if (!sohAnswered) {
        if (const auto ended = role::answerOpeningSoh(session)) {
            return *ended;
        }
    }
    log.note("SESSION ini-receiver");
    log.record("SESSION ini-receiver");
    long lines = 0;

    std::string received;
    LinkFrameReader reader(kMaxLineBytes);
    for (;;) {
        auto byte = role::next(session, true, end);
        if (!byte) {
            return end;
        }
        if (*byte == kSoh) {
            // The host did not see the ACK in time and asks again.
            log.rx("SOH");
            if (terminal.answerAck(role::plainAck, "ACK") == Permit::LineGone) {
                return Outcome::HungUp;
            }
        } else if (*byte == kStx) {
            if (!role::readWhole(session, reader, *byte, end)) {
                return end;
            }
            const LinkFrame& frame = reader.result();
            log.rx("FRAME STX \"" + escapeText(frame.text) + "\" xor=" + (frame.checkOk ? "OK" : "BAD") +
                   (frame.overlong ? " overlong" : ""));
            if (!frame.checkOk) {
                log.note("NO ACK: check byte refused");
                continue;
            }
            if (terminal.missesFrame()) {
                continue;
            }
            received += frame.text;
            ++lines;
            const Permit answered = terminal.answerAck(role::plainAck, "ACK");
            log.record("ACCEPT \"" + escapeText(frame.text) + "\" answer=" +
                       (answered == Permit::Go && !terminal.lastGarbled() ? "clean" : "garbled"));
            if (answered == Permit::LineGone) {
                return Outcome::HungUp;
            }
        } else if (*byte == kEot) {
            log.rx("EOT");
            // The file is complete once the EOT is in, whether or not the answer goes out.
            bool stored =
                session.options.out.empty() || role::storeFile(session, session.options.out, received);
            if (stored && !session.options.out.empty()) {
                log.note("STORED " + session.options.out);
            }
            if (stored) {
                log.record("STORED " + std::to_string(lines) + " lines");
            }
            Permit permit = terminal.answerAck(role::plainAck, "ACK");
            if (permit == Permit::LineGone) {
                return Outcome::HungUp;
            }
            return stored ? Outcome::Completed : Outcome::Failed;
        } else {
            role::logStray(session, *byte);
        }
    }
}

}  // namespace hhtsim
