// The line-protocol loader terminal (115200 baud): every message is a line frame, STX, sequence digit,
// four length digits, text, ETX, BCC. "P1" opens the load, "5OT" and a number announces how many lines
// follow, the lines are the Intel HEX image as stored (a long line may come split over several frames),
// "E" ends it. Each good frame is answered with a frame of the same form carrying one ACK byte and the
// sequence digit of the frame it answers; a wrong BCC gets no answer and the host sends it again.
#include <charconv>

#include "hhtsim/loader_codec.h"
#include "hhtsim/roles.h"

namespace hhtsim {

namespace {
constexpr std::size_t kMaxText = 1024;
constexpr std::size_t kMaxPendingLine = 1024;
constexpr std::uint8_t kHexData = 0x00;
constexpr std::uint8_t kHexEnd = 0x01;
constexpr std::uint8_t kHexSegment = 0x02;
constexpr std::uint8_t kHexLinear = 0x04;

struct HexLoad {
    std::uint32_t base = 0;
    std::string pending;  // a line whose end has not arrived yet
    long lines = 0;
    long textFrames = 0;  // what the host's count names: a long line arrives in several frames
    long badLines = 0;
    bool endRecordSeen = false;
};

void applyHexLine(Session& session, HexLoad& load, const std::string& line) {
    EventLog& log = session.terminal.log();
    ++load.lines;
    auto record = parseIntelHexLine(line);
    if (!record) {
        log.note("HEX LINE unreadable \"" + escapeText(line) + "\"");
        ++load.badLines;
        return;
    }
    if (!record->checksumOk) {
        log.note("HEX LINE checksum wrong, not written \"" + escapeText(line) + "\"");
        ++load.badLines;
        return;
    }
    if (record->type == kHexData) {
        std::uint32_t address = load.base + record->offset;
        if (session.flash.write(address, record->data) != record->data.size()) {
            log.note("HEX LINE beyond the 24-bit address space cut short");
        }
    } else if (record->type == kHexSegment && record->data.size() == 2) {
        load.base = static_cast<std::uint32_t>(record->data[0] << 8 | record->data[1]) << 4;
    } else if (record->type == kHexLinear && record->data.size() == 2) {
        load.base = static_cast<std::uint32_t>(record->data[0] << 8 | record->data[1]) << 16;
    } else if (record->type == kHexEnd) {
        load.endRecordSeen = true;
    } else {
        log.note("HEX LINE type ignored \"" + escapeText(line) + "\"");
    }
}

void takeText(Session& session, HexLoad& load, const std::string& text) {
    ++load.textFrames;
    load.pending += text;
    if (load.pending.size() > kMaxPendingLine) {
        session.terminal.log().note("HEX LINE too long, dropped");
        load.pending.clear();
        ++load.badLines;
        return;
    }
    std::size_t lf;
    while ((lf = load.pending.find('\n')) != std::string::npos) {
        std::string line = load.pending.substr(0, lf + 1);
        load.pending.erase(0, lf + 1);
        applyHexLine(session, load, line);
    }
}
}  // namespace

Outcome runLineLoader(Session& session) {
    Terminal& terminal = session.terminal;
    EventLog& log = terminal.log();
    LineFrameReader reader(kMaxText);
    HexLoad load;
    long announced = -1;  // -1 until "5OT" names the count
    bool started = false;
    int lastSequence = -1;
    std::string lastText;
    Outcome end = Outcome::Abandoned;

    auto finish = [&](Outcome outcome) {
        if (started && !role::saveFlash(session) && outcome == Outcome::Completed) {
            return Outcome::Failed;
        }
        return outcome;
    };

    for (;;) {
        auto byte = role::next(session, started, end);
        if (!byte) {
            return finish(end);
        }
        if (*byte != kStx) {
            role::logStray(session, *byte);
            continue;
        }
        if (!started) {
            log.note("SESSION line-loader");
            log.record("SESSION line-loader");
        }
        started = true;
        if (!role::readWhole(session, reader, *byte, end)) {
            return finish(end);
        }
        const LineFrame& frame = reader.result();
        if (frame.malformed) {
            log.rx("LINEFRAME malformed");
            log.note("NO ACK: frame refused");
            continue;
        }
        log.rx("LINEFRAME seq=" + std::to_string(frame.sequence) + " \"" + escapeText(frame.text) +
               "\" bcc=" + (frame.bccOk ? "OK" : "BAD"));
        if (!frame.bccOk) {
            log.note("NO ACK: frame refused");
            continue;
        }
        // The host sends a frame again when it missed the answer; act on it once, answer it again.
        bool repeated = frame.sequence == lastSequence && frame.text == lastText;
        lastSequence = frame.sequence;
        lastText = frame.text;

        bool endOfLoad = false;
        if (repeated) {
            log.note("REPEATED frame");
        } else if (frame.text == "P1") {
            load = HexLoad{};
            announced = -1;
        } else if (frame.text.rfind("5OT", 0) == 0) {
            long count = 0;
            const char* first = frame.text.data() + 3;
            const char* last = frame.text.data() + frame.text.size();
            auto [ptr, ec] = std::from_chars(first, last, count);
            if (ec == std::errc{} && ptr == last) {
                announced = count;
                log.note("LINES " + std::to_string(count));
            } else {
                log.note("LINE COUNT unreadable");
            }
        } else if (frame.text == "E") {
            endOfLoad = true;
        } else {
            takeText(session, load, frame.text);
        }

        int sequence = frame.sequence < 0 ? 0 : frame.sequence;
        bool overlong = terminal.misbehaviour().overlong;
        auto build = [sequence, overlong](std::uint8_t ack) {
            return buildLineFrame(sequence, overlong ? std::string{static_cast<char>(ack), ' '}
                                                     : std::string(1, static_cast<char>(ack)));
        };
        Permit permit = terminal.answerAck(build, "LINEFRAME seq=" + std::to_string(sequence) + " ACK");
        if (permit == Permit::LineGone) {
            return finish(Outcome::HungUp);
        }
        if (endOfLoad) {
            if (!load.pending.empty()) {
                applyHexLine(session, load, load.pending);
            }
            if (announced >= 0 && announced != load.textFrames) {
                log.note("LINE COUNT MISMATCH announced=" + std::to_string(announced) +
                         " frames=" + std::to_string(load.textFrames));
            }
            // A host that cuts long lines into pieces but counts whole lines stops short of the end.
            if (!load.endRecordSeen) {
                log.note("HEX END RECORD missing: the image arrived incomplete");
            }
            log.note("SESSION END lines=" + std::to_string(load.lines) +
                     " bad=" + std::to_string(load.badLines));
            return finish(Outcome::Completed);
        }
    }
}

}  // namespace hhtsim
