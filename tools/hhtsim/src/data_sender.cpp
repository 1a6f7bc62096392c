// Sending the collected records: the host asks for the link with SOH; after the ACK the terminal sends
// one frame per record (STX, record, CR LF, ETX, check byte = XOR of STX through ETX) and waits for the
// host's ACK; the host answers nothing to a frame it refuses, so the terminal sends it again after a
// wait, and gives up after a few tries. An EOT alone ends the data.
#include "hhtsim/roles.h"

namespace hhtsim {

namespace {
constexpr std::chrono::milliseconds kAckWait{2000};
constexpr int kSendsPerRecord = 3;
constexpr std::size_t kOverlongRecordBytes = 300;  // longer than the host's 200-byte frame buffer

enum class AckWait { Acked, Missing, Ended };

// An ACK counts only when it came after the frame it would answer had gone out: one that was waiting
// already answers something earlier.
AckWait awaitAck(Session& session, WireClock::time_point sentAt, Outcome& end) {
    auto deadline = std::chrono::steady_clock::now() + kAckWait;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return AckWait::Missing;
        }
        ReadResult result = session.terminal.read(left);
        switch (result.status) {
            case ReadStatus::Byte:
                if (result.byte == kAck && result.arrivedAt < sentAt) {
                    session.terminal.log().rx("ACK stale");
                    continue;
                }
                if (result.byte == kAck) {
                    session.terminal.log().rx("ACK");
                    return AckWait::Acked;
                }
                role::logStray(session, result.byte);
                continue;
            case ReadStatus::Timeout:
                return AckWait::Missing;
            case ReadStatus::HostClosed:
                session.terminal.log().note("ABANDONED: the host closed the port");
                end = Outcome::Abandoned;
                return AckWait::Ended;
            case ReadStatus::Stopped:
                end = Outcome::Stopped;
                return AckWait::Ended;
            case ReadStatus::HungUp:
                end = Outcome::HungUp;
                return AckWait::Ended;
        }
    }
}
}  // namespace

Outcome runDataSender(Session& session, bool sohAnswered) {
    Terminal& terminal = session.terminal;
    EventLog& log = terminal.log();
    const Misbehaviour& misbehaviour = terminal.misbehaviour();
    Outcome end = Outcome::Abandoned;

    if (!sohAnswered) {
        if (const auto ended = role::answerOpeningSoh(session)) {
            return *ended;
        }
    }
    log.note("SESSION data-sender");
    log.record("SESSION data-sender");

    for (std::size_t index = 0; index < session.records.size(); ++index) {
        std::string text = session.records[index];
        if (misbehaviour.overlong && index == 0 && text.size() < kOverlongRecordBytes) {
            text.append(kOverlongRecordBytes - text.size(), 'X');
        }
        text += "\r\n";
        Bytes frame = buildLinkFrame(text);
        if (misbehaviour.badCheck) {
            frame.back() ^= 0xFF;
        }
        std::string what =
            "FRAME STX \"" + escapeText(text) + "\" xor=" + (misbehaviour.badCheck ? "BAD" : "OK");

        bool acked = false;
        for (int sends = 0; sends < kSendsPerRecord && !acked; ++sends) {
            Permit permit = terminal.permit(what);
            if (permit == Permit::LineGone) {
                return Outcome::HungUp;
            }
            if (permit == Permit::Withheld) {
                return Outcome::Abandoned;
            }
            if (!terminal.send(frame, what, MessageKind::Frame)) {
                return terminal.hungUp() ? Outcome::HungUp : Outcome::Abandoned;
            }
            const std::string number = std::to_string(index + 1);
            log.record("SENT " + number + " try=" + std::to_string(sends + 1) + " \"" +
                       escapeText(session.records[index]) + "\"");
            switch (awaitAck(session, terminal.now(), end)) {
                case AckWait::Acked:
                    log.record("ACKED " + number);
                    acked = true;
                    break;
                case AckWait::Missing:
                    log.note("NO ACK");
                    break;
                case AckWait::Ended:
                    return end;
            }
        }
        if (!acked) {
            log.note("GIVE UP: record " + std::to_string(index + 1) + " not acknowledged");
            return Outcome::Abandoned;
        }
    }

    Permit permit = terminal.permit("EOT");
    if (permit == Permit::LineGone) {
        return Outcome::HungUp;
    }
    if (permit == Permit::Withheld) {
        return Outcome::Abandoned;
    }
    const Bytes eot{kEot};
    if (!terminal.send(eot, "EOT", MessageKind::End)) {
        return Outcome::Abandoned;
    }
    log.record("EOT");
    return Outcome::Completed;
}

}  // namespace hhtsim
