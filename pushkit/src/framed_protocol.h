// Pieces of the framed protocol that tests reach on their own: the terminal kind choice and the
// acknowledged frame exchange.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download_result.h"
#include "frame_codec.h"
#include "port.h"
#include "pushkit/image/terminal_kinds.h"
#include "transfer_context.h"

namespace pushkit {

struct KindSelection {
    StepFailure failure;  // NoAnswer, UnknownKind, IdentTooLong or WriteFailed; empty when a kind was chosen
    TerminalKind kind = TerminalKind::Kind101;  // the chosen kind; meaningless with a failure
    bool namedByImage = false;                  // found through an identification record in the image
    std::string terminalIdent;  // first 8 characters of the terminal's answer when it was asked
};

// Identification records first (each confirmed by a presence check), then the terminal's own answer,
// which must be exactly 18 bytes (IdentTooLong when more follow).
KindSelection selectTerminalKind(Port& port, std::string_view image);

// Sends a frame and waits for the terminal's ACK, resending the whole frame after every other byte
// or silence. NoAck after the last attempt; WriteFailed when the port would not take the frame.
AckResult sendAndAwaitAck(TransferContext& ctx, const Frame& frame);
// The same, with a pause between the first send and the first read (erase and display frames).
AckResult sendAndAwaitAck(TransferContext& ctx, const Frame& frame, std::uint32_t pauseMs);

// Erases the flash the image covers, by the kind's erase rule.
// FlashAnswerTooLong, before any erase, when the flash part answers its query with more than three
// bytes; an image with nothing inside the kind's window erases nothing.
StepFailure eraseFlash(TransferContext& ctx, std::string_view image, TerminalKind kind);

}  // namespace pushkit
