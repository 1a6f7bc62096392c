#include <algorithm>
#include <string>
#include <vector>

#include "frame_codec.h"
#include "hex_block_protocol.h"
#include "pushkit/image/hex_block_layout.h"
#include "pushkit/image/image_scans.h"
#include "transfers.h"

namespace pushkit {

namespace {

// Every command and line gets three chances; the terminal answers ACK within 100 ms of having taken
// the whole text, so the wait starts when the last character has left the port (a 266-character line
// is on the wire for over half a second at 4800 baud). After a failed data line the terminal needs a
// further 20 ms before it listens again.
constexpr int kAttempts = 3;
constexpr std::uint32_t kAnswerWaitMs = 100;
constexpr std::uint32_t kRetryPauseMs = 20;
constexpr std::uint32_t kAfterFinalMs = 100;
// Each erase command clears this much of the window, numbered from its start.
constexpr std::uint32_t kHexBlockEraseBytes = 16 * 1024;

enum class Pacing { WholeWrite, CharByChar };

// NoAck after the third failure. Never Cancelled: this protocol does not poll the run flag.
AckResult sendWithRetries(Port& port, std::string_view text, Pacing pacing, std::uint32_t failurePauseMs) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        if (pacing == Pacing::WholeWrite) {
            if (!port.write(bytes, text.size())) {
                return AckResult::WriteFailed;
            }
        } else {
            // The terminal's receiver takes these texts one character at a time.
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (!port.write(bytes + i, 1)) {
                    return AckResult::WriteFailed;
                }
            }
        }
        port.drain();
        port.sleepMs(kAnswerWaitMs);
        std::uint8_t answer = 0;
        if (port.read(&answer, 1) == 1 && answer == kAck) {
            return AckResult::Acked;
        }
        if (failurePauseMs > 0) {
            port.sleepMs(failurePauseMs);
        }
    }
    return AckResult::NoAck;
}

StepFailure sendCommand(Port& port, std::uint8_t command) {
    return stepFailure(sendWithRetries(port, hexBlockCommand(command), Pacing::WholeWrite, 0),
                       DownloadResult::HexBlockNoAck);
}

StepFailure sendPaced(Port& port, std::string_view text, Pacing pacing) {
    return stepFailure(sendWithRetries(port, text, pacing, kRetryPauseMs), DownloadResult::HexBlockNoAck);
}

StepFailure listFailure(BlockListResult built) {
    switch (built) {
        case BlockListResult::Built:
            return std::nullopt;
        case BlockListResult::NoMemoryForList:
            return DownloadResult::NoMemoryList;
        case BlockListResult::NoMemoryForRecord:
            return DownloadResult::NoMemoryRecord;
    }
    return DownloadResult::InternalError;
}

StepFailure layoutFailure(LayoutResult laidOut) {
    switch (laidOut) {
        case LayoutResult::LaidOut:
            return std::nullopt;
        case LayoutResult::NoRecord:
            return DownloadResult::NoS2Record;
        case LayoutResult::Overlap:
            return DownloadResult::OverlappingRecords;
    }
    return DownloadResult::InternalError;
}

double percentDone(std::uint32_t end, const BlockImage& image) {
    if (image.highest <= image.lowest) {
        return 100.0;
    }
    return static_cast<double>(end - image.lowest) * 100.0 /
           static_cast<double>(image.highest - image.lowest);
}

}  // namespace

std::string terminalIdentification(std::string_view answer) {
    const auto at = [answer](std::size_t pos) { return pos < answer.size() ? answer[pos] : '\0'; };
    std::string ident;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < kIdentificationLength; ++i) {
        if (at(pos) == ' ') {
            ++pos;
        }
        ident.push_back(at(pos++));
    }
    ident.resize(std::min(ident.size(), ident.find('\0')));
    return ident;
}

DownloadResult runHexBlockTransfer(TransferContext& ctx, std::string_view image, std::string_view answer) {
    const std::string imageIdent = imageIdentification(image);
    const std::string terminalIdent = terminalIdentification(answer);
    if (!imageIdent.empty() && imageIdent.substr(0, 3) != terminalIdent.substr(0, 3)) {
        return DownloadResult::IdentMismatch;
    }

    BlockImage blockImage;
    if (const StepFailure failure = listFailure(buildBlockImage(image, blockImage))) {
        return *failure;
    }
    // Laid out before anything is sent, so an image that cannot be placed leaves the terminal as it was.
    std::vector<HexBlock> blocks;
    if (const StepFailure failure = layoutFailure(layoutHexBlocks(blockImage, blocks))) {
        return *failure;
    }

    Port& port = ctx.port;
    const std::uint32_t firstBlock = (blockImage.lowest - kHexBlockWindowLow) / kHexBlockEraseBytes;
    const std::uint32_t endBlock = (blockImage.highest - kHexBlockWindowLow) / kHexBlockEraseBytes;
    for (std::uint32_t block = firstBlock; block < endBlock; ++block) {
        if (const StepFailure failure = sendCommand(port, static_cast<std::uint8_t>(block))) {
            return *failure;
        }
    }
    if (const StepFailure failure = sendCommand(port, kHexStartOfData)) {
        return *failure;
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (const StepFailure failure =
                sendPaced(port, hexBlockLine(blocks[i].address, blocks[i].data), Pacing::CharByChar)) {
            return *failure;
        }
        if (i + 1 < blocks.size()) {
            ctx.report(percentDone(blocks[i].endAddress, blockImage));
        }
    }
    if (const StepFailure failure = sendPaced(port, hexBlockCommand(kHexEndOfData), Pacing::WholeWrite)) {
        return *failure;
    }
    if (const StepFailure failure =
            sendPaced(port, hexBlockClockCommand(port.localTime()), Pacing::CharByChar)) {
        return *failure;
    }
    if (const StepFailure failure = sendPaced(port, hexBlockCommand(kHexFinal), Pacing::WholeWrite)) {
        return *failure;
    }
    port.sleepMs(kAfterFinalMs);
    return DownloadResult::SrecordLoaded;
}

}  // namespace pushkit
