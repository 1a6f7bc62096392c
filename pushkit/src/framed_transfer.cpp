#include <algorithm>
#include <cstdio>
#include <string>

#include "framed_protocol.h"
#include "pushkit/image/image_scans.h"
#include "transfers.h"

namespace pushkit {

namespace {

constexpr std::uint32_t kFirstDisplayPauseMs = 100;
constexpr std::uint32_t kAfterOpenMarkersMs = 500;
constexpr std::uint32_t kBlockErasePauseMs = 700;
constexpr std::uint32_t kFullErasePauseMs = 1500;
constexpr std::uint32_t kAfterCloseMs = 50;

constexpr std::size_t kFlashAnswerLength = 3;

constexpr double kPercentStep = 1.0;
constexpr double kFullPercent = 100.0;
constexpr int kPercentPerLine = 100;

// Lines that are not S2 records send nothing and count as acknowledged.
AckResult sendRecordLine(TransferContext& ctx, std::string_view line) {
    const std::optional<Frame> frame = recordFrame(line);
    return frame ? sendAndAwaitAck(ctx, *frame) : AckResult::Acked;
}

// Sets `large` from the flash part's answer (a short answer means small blocks). FlashAnswerTooLong
// when the answer is longer than its three bytes.
StepFailure queryBlockSize(Port& port, bool& large) {
    // A late second ACK of a resent frame would otherwise be read as the flash part's first byte.
    (void)port.discardUntilQuiet();
    const Frame query = flashQueryFrame();
    if (!port.write(query.data(), query.size())) {
        return DownloadResult::WriteFailed;
    }
    std::uint8_t answer[kFlashAnswerLength] = {};
    const std::size_t got = port.read(answer, sizeof answer);
    // More than three bytes is not a flash part's answer: blocks chosen from it could be the wrong
    // ones, so nothing is erased.
    if (port.discardUntilQuiet().bytes > 0) {
        return DownloadResult::FlashAnswerTooLong;
    }
    large = got >= 2 && std::any_of(kLargeBlockFlashIds.begin(), kLargeBlockFlashIds.end(),
                                    [&](const auto& id) { return answer[0] == id[0] && answer[1] == id[1]; });
    return std::nullopt;
}

}  // namespace

StepFailure eraseFlash(TransferContext& ctx, std::string_view image, TerminalKind kind) {
    const TerminalKindRow& row = terminalKind(kind);
    if (row.erase == EraseRule::None) {
        return std::nullopt;
    }
    const AddressRange range = addressRange(image, kind);
    if (range.result == RangeResult::NoS2Record) {
        return DownloadResult::NoS2Record;
    }
    bool large = true;
    if (row.erase != EraseRule::Whole) {
        if (const StepFailure failure = queryBlockSize(ctx.port, large)) {
            return failure;
        }
    }
    if (const StepFailure failure =
            stepFailure(sendAndAwaitAck(ctx, displayFrame("\fErasing")), DownloadResult::NoAckFirstFrame)) {
        return failure;
    }
    const std::uint8_t offset = large ? kLargeBlockNumberOffset : 0;
    if (row.erase == EraseRule::Whole) {
        return stepFailure(sendAndAwaitAck(ctx, eraseFrame(offset), kFullErasePauseMs),
                           DownloadResult::NoAckErase);
    }
    // Records all outside the kind's window leave the range empty: nothing of theirs is in this
    // flash, so nothing is erased.
    if (range.low > range.high) {
        return std::nullopt;
    }
    const std::uint32_t base = row.window->base;
    const std::uint32_t blockBytes = large ? kLargeEraseBlock : kSmallEraseBlock;
    const std::uint32_t first = (range.low - base) / blockBytes;
    const std::uint32_t last = (range.high - base) / blockBytes;
    for (std::uint32_t block = first; block <= last; ++block) {
        const auto number = static_cast<std::uint8_t>(block + offset);
        if (const StepFailure failure = stepFailure(
                sendAndAwaitAck(ctx, eraseFrame(number), kBlockErasePauseMs), DownloadResult::NoAckErase)) {
            return failure;
        }
    }
    return std::nullopt;
}

namespace {

AckResult sendOpenMarkers(TransferContext& ctx, const LoadMarkers& markers) {
    for (const std::string_view marker : markers.open) {
        if (const AckResult sent = sendRecordLine(ctx, marker); sent != AckResult::Acked) {
            return sent;
        }
    }
    const AckResult closed = sendAndAwaitAck(ctx, closeFrame());
    if (closed == AckResult::Acked) {
        ctx.port.sleepMs(kAfterOpenMarkersMs);
    }
    return closed;
}

std::string percentText(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "\r%.0f%% ready  ", percent);
    return text;
}

// Every line beginning with 'S' counts towards the percentage, S2 record or not; the display and
// the hook follow only whole-point steps so a large image makes about a hundred updates.
AckResult sendRecords(TransferContext& ctx, std::string_view image, std::size_t recordCount) {
    LineReader lines(image, kSendLineLimit);
    std::string_view line;
    long long counter = 0;
    double lastReported = 0.0;
    while (lines.next(line)) {
        if (line.empty() || line.front() != 'S') {
            continue;
        }
        if (ctx.cancelled()) {
            return AckResult::Cancelled;
        }
        if (const AckResult sent = sendRecordLine(ctx, line); sent != AckResult::Acked) {
            return sent;
        }
        counter += kPercentPerLine;
        double percent = static_cast<double>(counter) / static_cast<double>(recordCount);
        if (percent - lastReported < kPercentStep) {
            continue;
        }
        percent = std::min(percent, kFullPercent);
        ctx.report(percent);
        if (const AckResult shown = sendAndAwaitAck(ctx, displayFrame(percentText(percent)));
            shown != AckResult::Acked) {
            return shown;
        }
        lastReported = percent;
    }
    return AckResult::Acked;
}

StepFailure headerFailure(HeaderCheck check) {
    switch (check) {
        case HeaderCheck::Accepted:
            return std::nullopt;
        case HeaderCheck::VersionTooLow:
            return DownloadResult::VersionTooLow;
        case HeaderCheck::NoFit:
            return DownloadResult::HeaderMismatch;
    }
    return DownloadResult::InternalError;
}

}  // namespace

DownloadResult runFramedTransfer(TransferContext& ctx, std::string_view image) {
    const KindSelection selection = selectTerminalKind(ctx.port, image);
    if (selection.failure) {
        return *selection.failure;
    }
    const TerminalKindRow& row = terminalKind(selection.kind);
    const std::optional<LoadMarkers> markers = selection.namedByImage ? row.markers : std::nullopt;

    if (countS2Records(image) == 0) {
        return DownloadResult::NoS2Record;
    }
    if (!selection.namedByImage) {
        if (const StepFailure failure =
                headerFailure(checkApplicationHeader(image, row.kind, selection.terminalIdent))) {
            return *failure;
        }
    }
    if (markers) {
        if (const StepFailure failure =
                stepFailure(sendOpenMarkers(ctx, *markers), DownloadResult::NoAckOpenMarkers)) {
            return *failure;
        }
    }
    if (const StepFailure failure = eraseFlash(ctx, image, row.kind)) {
        return *failure;
    }
    if (const StepFailure failure =
            stepFailure(sendAndAwaitAck(ctx, displayFrame("\f0% ready.  "), kFirstDisplayPauseMs))) {
        return *failure;
    }
    if (const StepFailure failure = stepFailure(sendRecords(ctx, image, countS2Records(image)))) {
        return *failure;
    }
    if (markers) {
        if (const StepFailure failure =
                stepFailure(sendRecordLine(ctx, markers->close), DownloadResult::NoAckCloseMarker)) {
            return *failure;
        }
    }
    if (const StepFailure failure = stepFailure(sendAndAwaitAck(ctx, displayFrame("\r100% ready  ")))) {
        return *failure;
    }
    if (const StepFailure failure = stepFailure(sendAndAwaitAck(ctx, clockFrame(ctx.port.localTime())))) {
        return *failure;
    }
    // The terminal restarts on this frame and answers nothing more.
    const Frame close = closeFrame();
    if (!ctx.port.write(close.data(), close.size())) {
        return DownloadResult::WriteFailed;
    }
    ctx.port.sleepMs(kAfterCloseMs);
    return DownloadResult::SrecordLoaded;
}

}  // namespace pushkit
