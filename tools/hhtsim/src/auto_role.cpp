// Auto mode: the host's first bytes say which exchange it starts. A SOH opens both an INI send and a
// data receive; after the ACK, an INI sender follows at once with its first frame (or its EOT for an
// empty file), while a data receiver waits for the terminal. A short quiet spell therefore means the
// host wants data.
#include "hhtsim/roles.h"

namespace hhtsim {

namespace {
// The INI sender reads the ACK 100 ms after its SOH and sends straight on; 300 ms leaves it room
// without keeping the data receiver (which waits seconds for a frame) waiting long.
constexpr std::chrono::milliseconds kDirectionProbe{300};
}  // namespace

Outcome runAuto(Session& session) {
    Terminal& terminal = session.terminal;
    EventLog& log = terminal.log();
    Outcome end = Outcome::Abandoned;
    for (;;) {
        auto byte = role::next(session, false, end);
        if (!byte) {
            return end;
        }
        switch (*byte) {
            case kSoh:
                break;
            case kEsc:
                terminal.unread(*byte);
                return session.options.autoRmt ? runRmtLoader(session) : runFramedLoader(session);
            case kDle:
                terminal.unread(*byte);
                return runFramedLoader(session);
            case kStx:
                terminal.unread(*byte);
                return runLineLoader(session);
            default:
                role::logStray(session, *byte);
                continue;
        }
        if (session.options.autoData) {
            terminal.unread(*byte);
            return runDataSender(session, false);
        }
        log.rx("SOH");
        Permit permit = terminal.answerAck(role::plainAck, "ACK");
        if (permit == Permit::LineGone) {
            return Outcome::HungUp;
        }
        if (permit == Permit::Withheld) {
            continue;
        }

        for (;;) {
            ReadResult probe = terminal.read(kDirectionProbe);
            if (probe.status == ReadStatus::Stopped) {
                return Outcome::Stopped;
            }
            if (probe.status == ReadStatus::HungUp) {
                return Outcome::HungUp;
            }
            if (probe.status == ReadStatus::HostClosed) {
                log.note("ABANDONED: the host closed the port");
                return Outcome::Abandoned;
            }
            if (probe.status == ReadStatus::Timeout) {
                return runDataSender(session, true);
            }
            if (probe.byte == kStx || probe.byte == kEot) {
                terminal.unread(probe.byte);
                return runIniReceiver(session, true);
            }
            if (probe.byte == kSoh) {
                log.rx("SOH");
                if (terminal.answerAck(role::plainAck, "ACK") == Permit::LineGone) {
                    return Outcome::HungUp;
                }
                continue;
            }
            role::logStray(session, probe.byte);
        }
    }
}

}  // namespace hhtsim
