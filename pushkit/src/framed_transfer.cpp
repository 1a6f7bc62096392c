#include <algorithm>
#include <cstdio>
#include <string>

#include "framed_protocol.h"
#include "image_scans.h"
#include "result_codes.h"
#include "transfers.h"

namespace pushkit {

namespace {

constexpr std::uint32_t kFirstDisplayPauseMs = 100;
constexpr std::uint32_t kAfterOpenMarkersMs = 500;
constexpr std::uint32_t kBlockErasePauseMs = 700;
constexpr std::uint32_t kFullErasePauseMs = 1500;
constexpr std::uint32_t kAfterCloseMs = 50;

constexpr std::uint32_t kSmallBlockBytes = 16 * 1024;
constexpr std::uint32_t kLargeBlockBytes = 64 * 1024;
// Erase frames number large blocks from 8 on, so the terminal can tell the two sizes apart.
constexpr std::uint8_t kLargeBlockOffset = 8;
constexpr std::size_t kFlashAnswerLength = 3;

constexpr std::uint32_t kWindowBase101 = 0x300000;
constexpr std::uint32_t kWindowBase103 = 0x200000;

// A kind 103 loader named by its image gets marker records before the erase and one after the last
// record: 0x00 at 0x200000 and 0xFF at 0x20FFFF first, then 0x00 at 0x20FFFF.
constexpr std::string_view kOpenMarkerLow = "S20520000000DA";
constexpr std::string_view kOpenMarkerHigh = "S20520FFFFFFDA";
constexpr std::string_view kCloseMarker = "S20520FFFF00DC";

constexpr double kPercentStep = 1.0;
constexpr double kFullPercent = 100.0;
constexpr int kPercentPerLine = 100;

int mapNoAck(int code, int replacement) {
    return code == result::kNoAck ? replacement : code;
}

// 1 for lines that are not S2 records: they send nothing and count as acknowledged.
int sendRecordLine(TransferContext& ctx, std::string_view line) {
    const std::optional<Frame> frame = recordFrame(line);
    return frame ? sendAndAwaitAck(ctx, *frame) : 1;
}

// 1 with `large` taken from the flash part's answer (a short answer means small blocks), -25 when the
// answer is longer than its three bytes, -22 when the query could not be written.
int queryBlockSize(Port& port, bool& large) {
    // A late second ACK of a resent frame would otherwise be read as the flash part's first byte.
    (void)port.discardUntilQuiet();
    const Frame query = flashQueryFrame();
    if (!port.write(query.data(), query.size())) {
        return result::kWriteFailed;
    }
    std::uint8_t answer[kFlashAnswerLength] = {};
    const std::size_t got = port.read(answer, sizeof answer);
    // More than three bytes is not a flash part's answer: blocks chosen from it could be the wrong
    // ones, so nothing is erased.
    if (port.discardUntilQuiet().bytes > 0) {
        return result::kNoAckErase;
    }
    large =
        got >= 2 && ((answer[0] == 0xA4 && answer[1] == 0x01) || (answer[0] == 0xA4 && answer[1] == 0x1F) ||
                     (answer[0] == 0xE2 && answer[1] == 0x20));
    return 1;
}

}  // namespace

int eraseFlash(TransferContext& ctx, std::string_view image, int kind) {
    const AddressRange range = addressRange(image, kind);
    if (range.result < 0) {
        return range.result;
    }
    bool large = true;
    if (kind != kKind104) {
        if (const int queried = queryBlockSize(ctx.port, large); queried != 1) {
            return queried;
        }
    }
    const int shown = sendAndAwaitAck(ctx, displayFrame("\fErasing"));
    if (shown != 1) {
        return mapNoAck(shown, result::kNoAckFirstFrame);
    }
    const std::uint8_t offset = large ? kLargeBlockOffset : 0;
    if (kind == kKind104) {
        return mapNoAck(sendAndAwaitAck(ctx, eraseFrame(offset), kFullErasePauseMs), result::kNoAckErase);
    }
    // Records all outside the kind's window leave the range empty: nothing of theirs is in this
    // flash, so nothing is erased.
    if (range.low > range.high) {
        return 1;
    }
    const std::uint32_t base = kind == kKind101 ? kWindowBase101 : kWindowBase103;
    const std::uint32_t blockBytes = large ? kLargeBlockBytes : kSmallBlockBytes;
    const std::uint32_t first = (range.low - base) / blockBytes;
    const std::uint32_t last = (range.high - base) / blockBytes;
    for (std::uint32_t block = first; block <= last; ++block) {
        const auto number = static_cast<std::uint8_t>(block + offset);
        const int erased = sendAndAwaitAck(ctx, eraseFrame(number), kBlockErasePauseMs);
        if (erased != 1) {
            return mapNoAck(erased, result::kNoAckErase);
        }
    }
    return 1;
}

namespace {

int sendOpenMarkers(TransferContext& ctx) {
    for (const std::string_view marker : {kOpenMarkerLow, kOpenMarkerHigh}) {
        const int sent = sendRecordLine(ctx, marker);
        if (sent != 1) {
            return mapNoAck(sent, result::kNoAckOpenMarkers);
        }
    }
    const int closed = sendAndAwaitAck(ctx, closeFrame());
    if (closed != 1) {
        return mapNoAck(closed, result::kNoAckOpenMarkers);
    }
    ctx.port.sleepMs(kAfterOpenMarkersMs);
    return 1;
}

std::string percentText(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "\r%.0f%% ready  ", percent);
    return text;
}

// Every line beginning with 'S' counts towards the percentage, S2 record or not; the display and
// the hook follow only whole-point steps so a large image makes about a hundred updates.
int sendRecords(TransferContext& ctx, std::string_view image, std::size_t recordCount) {
    LineReader lines(image, kSendLineLimit);
    std::string_view line;
    long long counter = 0;
    double lastReported = 0.0;
    while (lines.next(line)) {
        if (line.empty() || line.front() != 'S') {
            continue;
        }
        if (ctx.cancelled()) {
            return result::kCancelled;
        }
        const int sent = sendRecordLine(ctx, line);
        if (sent != 1) {
            return sent;
        }
        counter += kPercentPerLine;
        double percent = static_cast<double>(counter) / static_cast<double>(recordCount);
        if (percent - lastReported < kPercentStep) {
            continue;
        }
        percent = std::min(percent, kFullPercent);
        ctx.report(percent);
        const int shown = sendAndAwaitAck(ctx, displayFrame(percentText(percent)));
        if (shown != 1) {
            return shown;
        }
        lastReported = percent;
    }
    return 1;
}

}  // namespace

int runFramedTransfer(TransferContext& ctx, std::string_view image) {
    const KindSelection selection = selectTerminalKind(ctx.port, image);
    if (selection.result != 1) {
        return selection.result;
    }
    const int kind = selection.kind;
    const bool markers = selection.namedByImage && kind == kKind103;

    if (countS2Records(image) == 0) {
        return result::kNoS2Record;
    }
    if (!selection.namedByImage) {
        const int header = checkApplicationHeader(image, kind, selection.terminalIdent);
        if (header != result::kAccepted) {
            return header;
        }
    }
    if (markers) {
        if (const int opened = sendOpenMarkers(ctx); opened != 1) {
            return opened;
        }
    }
    if (kind != kKind102) {
        if (const int erased = eraseFlash(ctx, image, kind); erased != 1) {
            return erased;
        }
    }
    if (const int shown = sendAndAwaitAck(ctx, displayFrame("\f0% ready.  "), kFirstDisplayPauseMs);
        shown != 1) {
        return shown;
    }
    if (const int sent = sendRecords(ctx, image, countS2Records(image)); sent != 1) {
        return sent;
    }
    if (markers) {
        if (const int closed = sendRecordLine(ctx, kCloseMarker); closed != 1) {
            return mapNoAck(closed, result::kNoAckCloseMarker);
        }
    }
    if (const int shown = sendAndAwaitAck(ctx, displayFrame("\r100% ready  ")); shown != 1) {
        return shown;
    }
    if (const int clocked = sendAndAwaitAck(ctx, clockFrame(ctx.port.localTime())); clocked != 1) {
        return clocked;
    }
    // The terminal restarts on this frame and answers nothing more.
    const Frame close = closeFrame();
    if (!ctx.port.write(close.data(), close.size())) {
        return result::kWriteFailed;
    }
    ctx.port.sleepMs(kAfterCloseMs);
    return result::kSrecordLoaded;
}

}  // namespace pushkit
