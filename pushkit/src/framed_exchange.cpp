#include <cstddef>
#include <optional>

#include "framed_protocol.h"
#include "pushkit/image/image_scans.h"

namespace pushkit {

namespace {

// With a silent terminal each attempt lasts one 1-byte read (about 200 ms): about 10 s in all.
constexpr int kAckAttempts = 50;

// The identification answer: the identification's 8 characters among 18 bytes.
constexpr std::size_t kIdentAnswerLength = 18;
// The presence check only needs the terminal to say something; what it says is not looked at.
constexpr std::size_t kPresenceAnswerLimit = 9;
constexpr int kPresenceSends = 4;

constexpr std::string_view kSecondPresenceQuery = "\x1b*0\r";

bool writeFrame(Port& port, const Frame& frame) {
    return port.write(frame.data(), frame.size());
}

enum class Presence { Answered, Silent, WriteFailed };

// Answered when the terminal answered one of up to four sends of the query.
Presence presenceQuery(Port& port, std::string_view query) {
    std::uint8_t answer[kPresenceAnswerLimit];
    for (int send = 0; send < kPresenceSends; ++send) {
        if (!writeText(port, query)) {
            return Presence::WriteFailed;
        }
        if (port.read(answer, sizeof answer) > 0) {
            return Presence::Answered;
        }
    }
    return Presence::Silent;
}

// The two queries share one identification answer (nine bytes read after each), so nothing is
// discarded between them. What follows the second is thrown away: those bytes would otherwise be
// read as the flash query's answer and as ACKs. A terminal still talking when the discarding reaches
// its cap has not answered as the image's terminal does, and the check fails.
Presence presenceCheck(Port& port) {
    const Presence first = presenceQuery(port, kIdentQuery);
    const Presence second = first == Presence::Answered ? presenceQuery(port, kSecondPresenceQuery) : first;
    if (second != Presence::Answered) {
        return second;
    }
    return port.discardUntilQuiet().capped ? Presence::Silent : Presence::Answered;
}

KindSelection askTerminal(Port& port) {
    KindSelection selection;
    if (!writeText(port, kIdentQuery)) {
        selection.failure = DownloadResult::WriteFailed;
        return selection;
    }
    std::uint8_t answer[kIdentAnswerLength];
    if (port.read(answer, sizeof answer) < kIdentAnswerLength) {
        selection.failure = DownloadResult::NoAnswer;
        return selection;
    }
    // An identification is exactly 18 bytes. Anything after them means the answer is something else,
    // and its rest would be taken for the replies to come: no kind is chosen from it.
    if (port.discardUntilQuiet().bytes > 0) {
        selection.failure = DownloadResult::IdentTooLong;
        return selection;
    }
    selection.terminalIdent.assign(answer, answer + kIdentificationLength);
    if (const std::optional<TerminalKind> kind =
            kindOfFamily(std::string_view(selection.terminalIdent).substr(0, 3))) {
        selection.kind = *kind;
    } else {
        selection.failure = DownloadResult::UnknownKind;
    }
    return selection;
}

AckResult awaitAck(TransferContext& ctx, const Frame& frame) {
    for (int attempt = 0; attempt < kAckAttempts; ++attempt) {
        if (ctx.cancelled()) {
            return AckResult::Cancelled;
        }
        std::uint8_t answer = 0;
        if (ctx.port.read(&answer, 1) == 1 && answer == kAck) {
            return AckResult::Acked;
        }
        if (!writeFrame(ctx.port, frame)) {
            return AckResult::WriteFailed;
        }
    }
    return AckResult::NoAck;
}

}  // namespace

KindSelection selectTerminalKind(Port& port, std::string_view image) {
    for (const TerminalKind kind : kIdentRecordOrder) {
        if (!containsIdentificationRecord(image, terminalKind(kind).identRecord)) {
            continue;
        }
        const Presence presence = presenceCheck(port);
        if (presence == Presence::Answered) {
            return {.failure = {}, .kind = kind, .namedByImage = true, .terminalIdent = {}};
        }
        if (presence == Presence::WriteFailed) {
            return {.failure = DownloadResult::WriteFailed,
                    .kind = kind,
                    .namedByImage = false,
                    .terminalIdent = {}};
        }
    }
    return askTerminal(port);
}

AckResult sendAndAwaitAck(TransferContext& ctx, const Frame& frame) {
    return sendAndAwaitAck(ctx, frame, 0);
}

AckResult sendAndAwaitAck(TransferContext& ctx, const Frame& frame, std::uint32_t pauseMs) {
    const bool written = writeFrame(ctx.port, frame);
    if (pauseMs > 0) {
        ctx.port.sleepMs(pauseMs);
    }
    return written ? awaitAck(ctx, frame) : AckResult::WriteFailed;
}

}  // namespace pushkit
