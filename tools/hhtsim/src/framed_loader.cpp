// The framed loader terminal. Outside frames the host sends ESC commands ending in CR: ESC "XLT" 0x0B
// (the first query, which only a hex-block terminal answers), ESC "Z1" (identification: 18 bytes, the
// first 8 naming the terminal) and ESC "*0" (presence). Everything else comes in DLE frames, answered
// with ACK when the BCC is right; a wrong BCC gets no answer and the host sends the frame again.
#include <cstring>

#include "hhtsim/loader_codec.h"
#include "hhtsim/roles.h"

namespace hhtsim {

namespace {
constexpr std::size_t kIdentBytes = 18;
constexpr std::size_t kOverlongIdentBytes = 64;
constexpr std::size_t kMaxCommandBytes = 32;
constexpr std::size_t kMaxFrameBody = 512;  // a record frame of 255 data bytes, all doubled, fits
constexpr std::uint32_t kSmallBlock = 16 * 1024;
constexpr std::uint32_t kLargeBlock = 64 * 1024;
// Large-block flash parts announce themselves with these first two id bytes; the host numbers their
// blocks from 8.
constexpr std::uint8_t kLargeBlockIds[][2] = {{0xA4, 0x01}, {0xA4, 0x1F}, {0xE2, 0x20}};
constexpr std::uint8_t kLargeBlockNumberBase = 8;

struct FlashLayout {
    std::uint32_t base = 0x200000;
    bool wholeChipErase = false;
};

// Where the terminal's program flash starts, by the kind its identification names.
FlashLayout layoutFor(const std::string& ident) {
    std::string kind = ident.substr(0, 3);
    if (kind == "VKA") {
        return {0x300000, false};
    }
    if (kind == "VKS") {
        return {0, true};
    }
    return {0x200000, false};
}

bool largeBlocks(const std::array<std::uint8_t, 3>& flashId) {
    for (const auto& id : kLargeBlockIds) {
        if (flashId[0] == id[0] && flashId[1] == id[1]) {
            return true;
        }
    }
    return false;
}

Bytes identAnswer(const std::string& ident, bool overlong) {
    Bytes answer(ident.begin(), ident.end());
    answer.resize(overlong ? kOverlongIdentBytes : kIdentBytes, ' ');
    return answer;
}
}  // namespace

Outcome runFramedLoader(Session& session) {
    Terminal& terminal = session.terminal;
    EventLog& log = terminal.log();
    const std::string ident = session.options.ident.value_or(defaultIdent(Role::Loader));
    const FlashLayout layout = layoutFor(ident);
    const bool large = largeBlocks(session.options.flashId);
    EscCommandReader command(kMaxCommandBytes);
    DleFrameReader reader(kMaxFrameBody);
    bool started = false;
    bool displayUsed = false;
    Outcome end = Outcome::Abandoned;

    auto finish = [&](Outcome outcome) {
        if (started && !role::saveFlash(session) && outcome == Outcome::Completed) {
            return Outcome::Failed;
        }
        return outcome;
    };
    auto ack = [&](const std::string& what) { return terminal.answerAck(role::plainAck, what); };

    for (;;) {
        auto byte = role::next(session, started, end);
        if (!byte) {
            return finish(end);
        }
        if (*byte != kEsc && *byte != kDle) {
            role::logStray(session, *byte);
            continue;
        }
        if (!started) {
            log.note("SESSION loader");
            log.record("SESSION loader");
        }
        started = true;

        if (*byte == kEsc) {
            if (!role::readWhole(session, command, *byte, end)) {
                return finish(end);
            }
            const std::string& body = command.body();
            if (command.overlong()) {
                log.rx("COMMAND overlong");
            } else if (body == "XLT\x0B") {
                log.rx("QUERY XLT 0x0B");
                log.note("NOT ANSWERED: not a hex-block terminal");
            } else if (body == "Z1") {
                log.rx("IDENT-QUERY");
                Bytes answer = identAnswer(ident, terminal.misbehaviour().overlong);
                std::string text(answer.begin(), answer.end());
                if (terminal.answer(answer, "IDENT \"" + escapeText(text) + "\"") == Permit::LineGone) {
                    return finish(Outcome::HungUp);
                }
            } else if (body == "*0") {
                // The presence check reads the 18-byte identification as two halves of 9, one after
                // ESC "Z1" and one after ESC "*0"; an answer of its own would linger in front of the
                // flash query's answer.
                log.rx("PRESENCE");
            } else {
                log.rx("COMMAND \"" + escapeText(body) + "\"");
            }
            continue;
        }

        if (!role::readWhole(session, reader, *byte, end)) {
            return finish(end);
        }
        const DleFrame& frame = reader.result();
        loader::Message message = decodeDleBody(frame.body);
        std::string what = "FRAME DLE " + (frame.malformed ? std::string("MALFORMED") : describe(message)) +
                           " bcc=" + (frame.bccOk ? "OK" : "BAD");
        log.rx(what);
        if (!frame.bccOk || frame.malformed) {
            log.note("NO ACK: frame refused");
            continue;
        }

        Permit permit = Permit::Go;
        if (std::holds_alternative<loader::FlashQuery>(message)) {
            const auto& id = session.options.flashId;
            permit = terminal.answer(id, "FLASHID " + hexBytes(id));
        } else if (auto* erase = std::get_if<loader::Erase>(&message)) {
            if (layout.wholeChipErase) {
                session.flash.eraseAll();
                log.note("ERASED all");
            } else {
                std::uint32_t size = large ? kLargeBlock : kSmallBlock;
                std::uint32_t index = erase->block;
                if (large && index >= kLargeBlockNumberBase) {
                    index -= kLargeBlockNumberBase;
                }
                std::uint32_t first = layout.base + index * size;
                session.flash.erase(first, first + size);
                char text[48];
                std::snprintf(text, sizeof text, "ERASED %06X-%06X", first, first + size - 1);
                log.note(text);
            }
            permit = ack("ACK");
        } else if (auto* record = std::get_if<loader::Record>(&message)) {
            std::size_t stored = session.flash.write(record->address, record->data);
            if (stored != record->data.size()) {
                log.note("RECORD beyond the 24-bit address space cut short");
            }
            permit = ack("ACK");
        } else if (std::holds_alternative<loader::Display>(message) ||
                   std::holds_alternative<loader::Clock>(message)) {
            displayUsed = true;
            permit = ack("ACK");
        } else if (std::holds_alternative<loader::Close>(message)) {
            permit = ack("ACK");
            // The host also sends a close right after its opening markers, before it has shown anything.
            if (displayUsed && permit != Permit::LineGone) {
                log.note("SESSION END");
                return finish(Outcome::Completed);
            }
        } else {
            log.note("NO ACK: unknown frame");
        }
        if (permit == Permit::LineGone) {
            return finish(Outcome::HungUp);
        }
    }
}

}  // namespace hhtsim
