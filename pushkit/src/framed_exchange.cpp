#include <cstddef>

#include "framed_protocol.h"
#include "image_scans.h"
#include "result_codes.h"

namespace pushkit {

namespace {

// With a silent terminal each attempt lasts one 1-byte read (about 200 ms): about 10 s in all.
constexpr int kAckAttempts = 50;

// The identification answer: 8 characters of identification among 18 bytes.
constexpr std::size_t kIdentAnswerLength = 18;
constexpr std::size_t kIdentLength = 8;
// The presence check only needs the terminal to say something; what it says is not looked at.
constexpr std::size_t kPresenceAnswerLimit = 9;
constexpr int kPresenceSends = 4;

constexpr std::string_view kIdentQuery = "\x1bZ1\r";
constexpr std::string_view kSecondPresenceQuery = "\x1b*0\r";

bool writeFrame(Port& port, const Frame& frame) {
    return port.write(frame.data(), frame.size());
}

bool writeText(Port& port, std::string_view text) {
    return port.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// 1 when the terminal answered one of up to four sends of the query, -14 when it never did.
int presenceQuery(Port& port, std::string_view query) {
    std::uint8_t answer[kPresenceAnswerLimit];
    for (int send = 0; send < kPresenceSends; ++send) {
        if (!writeText(port, query)) {
            return result::kWriteFailed;
        }
        if (port.read(answer, sizeof answer) > 0) {
            return 1;
        }
    }
    return result::kNoAnswer;
}

// The two queries share one identification answer (nine bytes read after each), so nothing is
// discarded between them. What follows the second is thrown away: those bytes would otherwise be
// read as the flash query's answer and as ACKs. A terminal still talking when the discarding reaches
// its cap has not answered as the image's terminal does, and the check fails.
int presenceCheck(Port& port) {
    const int first = presenceQuery(port, kIdentQuery);
    const int second = first == 1 ? presenceQuery(port, kSecondPresenceQuery) : first;
    if (second != 1) {
        return second;
    }
    return port.discardUntilQuiet().capped ? result::kNoAnswer : 1;
}

KindSelection askTerminal(Port& port) {
    KindSelection selection;
    if (!writeText(port, kIdentQuery)) {
        selection.result = result::kWriteFailed;
        return selection;
    }
    std::uint8_t answer[kIdentAnswerLength];
    if (port.read(answer, sizeof answer) < kIdentAnswerLength) {
        selection.result = result::kNoAnswer;
        return selection;
    }
    // An identification is exactly 18 bytes. Anything after them means the answer is something else,
    // and its rest would be taken for the replies to come: no kind is chosen from it.
    if (port.discardUntilQuiet().bytes > 0) {
        selection.result = result::kUnknownKind;
        return selection;
    }
    selection.terminalIdent.assign(answer, answer + kIdentLength);
    const std::string_view family = std::string_view(selection.terminalIdent).substr(0, 3);
    if (family == "VKD" || family == "VKF") {
        selection.kind = kKind102;
    } else if (family == "VKN") {
        selection.kind = kKind103;
    } else if (family == "VKS") {
        selection.kind = kKind104;
    } else if (family == "VKA") {
        selection.kind = kKind101;
    } else {
        selection.result = result::kUnknownKind;
        return selection;
    }
    selection.result = 1;
    return selection;
}

int awaitAck(TransferContext& ctx, const Frame& frame) {
    for (int attempt = 0; attempt < kAckAttempts; ++attempt) {
        if (ctx.cancelled()) {
            return result::kCancelled;
        }
        std::uint8_t answer = 0;
        if (ctx.port.read(&answer, 1) == 1 && answer == kAck) {
            return 1;
        }
        if (!writeFrame(ctx.port, frame)) {
            return result::kWriteFailed;
        }
    }
    return result::kNoAck;
}

}  // namespace

KindSelection selectTerminalKind(Port& port, std::string_view image) {
    struct Named {
        std::string_view record;
        TerminalKind kind;
    };
    for (const Named named : {Named{kIdentRecord103, kKind103}, Named{kIdentRecord101, kKind101}}) {
        if (!containsIdentificationRecord(image, named.record)) {
            continue;
        }
        const int presence = presenceCheck(port);
        if (presence == 1) {
            return {.result = 1, .kind = named.kind, .namedByImage = true, .terminalIdent = {}};
        }
        if (presence == result::kWriteFailed) {
            return {.result = presence, .kind = 0, .namedByImage = false, .terminalIdent = {}};
        }
    }
    return askTerminal(port);
}

int sendAndAwaitAck(TransferContext& ctx, const Frame& frame) {
    return sendAndAwaitAck(ctx, frame, 0);
}

int sendAndAwaitAck(TransferContext& ctx, const Frame& frame, std::uint32_t pauseMs) {
    const bool written = writeFrame(ctx.port, frame);
    if (pauseMs > 0) {
        ctx.port.sleepMs(pauseMs);
    }
    return written ? awaitAck(ctx, frame) : result::kWriteFailed;
}

}  // namespace pushkit
