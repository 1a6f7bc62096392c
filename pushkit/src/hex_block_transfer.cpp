#include <string>
#include <vector>

#include "hex_block_layout.h"
#include "result_codes.h"
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

enum class Pacing { WholeWrite, CharByChar };

// 1 on ACK, -34 after the third failure, -22 when the port would not take the text.
int sendWithRetries(Port& port, std::string_view text, Pacing pacing, std::uint32_t failurePauseMs) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        if (pacing == Pacing::WholeWrite) {
            if (!port.write(bytes, text.size())) {
                return result::kWriteFailed;
            }
        } else {
            // The terminal's receiver takes these texts one character at a time.
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (!port.write(bytes + i, 1)) {
                    return result::kWriteFailed;
                }
            }
        }
        port.drain();
        port.sleepMs(kAnswerWaitMs);
        std::uint8_t answer = 0;
        if (port.read(&answer, 1) == 1 && answer == kAck) {
            return 1;
        }
        if (failurePauseMs > 0) {
            port.sleepMs(failurePauseMs);
        }
    }
    return result::kHexBlockNoAck;
}

int sendCommand(Port& port, std::uint8_t command) {
    return sendWithRetries(port, hexBlockCommand(command), Pacing::WholeWrite, 0);
}

int sendPaced(Port& port, std::string_view text, Pacing pacing) {
    return sendWithRetries(port, text, pacing, kRetryPauseMs);
}

double percentDone(std::uint32_t end, const BlockImage& image) {
    if (image.highest <= image.lowest) {
        return 100.0;
    }
    return static_cast<double>(end - image.lowest) * 100.0 /
           static_cast<double>(image.highest - image.lowest);
}

}  // namespace

int runHexBlockTransfer(TransferContext& ctx, std::string_view image, std::string_view answer) {
    const std::string imageIdent = imageIdentification(image);
    const std::string terminalIdent = terminalIdentification(answer);
    if (!imageIdent.empty() && imageIdent.substr(0, 3) != terminalIdent.substr(0, 3)) {
        return result::kIdentMismatch;
    }

    BlockImage blockImage;
    if (const int built = buildBlockImage(image, blockImage); built != 1) {
        return built;
    }
    // Laid out before anything is sent, so an image that cannot be placed leaves the terminal as it was.
    std::vector<HexBlock> blocks;
    if (const int laidOut = layoutHexBlocks(blockImage, blocks); laidOut != 1) {
        return laidOut;
    }

    Port& port = ctx.port;
    const std::uint32_t firstBlock = (blockImage.lowest - kHexBlockWindowLow) / kHexBlockEraseBytes;
    const std::uint32_t endBlock = (blockImage.highest - kHexBlockWindowLow) / kHexBlockEraseBytes;
    for (std::uint32_t block = firstBlock; block < endBlock; ++block) {
        if (const int sent = sendCommand(port, static_cast<std::uint8_t>(block)); sent != 1) {
            return sent;
        }
    }
    if (const int sent = sendCommand(port, kHexStartOfData); sent != 1) {
        return sent;
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const int sent = sendPaced(port, hexBlockLine(blocks[i].address, blocks[i].data), Pacing::CharByChar);
        if (sent != 1) {
            return sent;
        }
        if (i + 1 < blocks.size()) {
            ctx.report(percentDone(blocks[i].endAddress, blockImage));
        }
    }
    if (const int sent = sendPaced(port, hexBlockCommand(kHexEndOfData), Pacing::WholeWrite); sent != 1) {
        return sent;
    }
    if (const int sent = sendPaced(port, hexBlockClockCommand(port.localTime()), Pacing::CharByChar);
        sent != 1) {
        return sent;
    }
    if (const int sent = sendPaced(port, hexBlockCommand(kHexFinal), Pacing::WholeWrite); sent != 1) {
        return sent;
    }
    port.sleepMs(kAfterFinalMs);
    return result::kSrecordLoaded;
}

}  // namespace pushkit
