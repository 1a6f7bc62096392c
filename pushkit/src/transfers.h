// The four ways an image goes into a terminal. Download chooses one from the image and the
// terminal's first answer; each returns one of the library's result codes.
#pragma once

#include <cstdint>
#include <string_view>

#include "port.h"
#include "transfer_context.h"

namespace pushkit {

// Framed protocol, port at 19200 baud: 14 on success, else a negative result code; -22 when a
// frame or query could not be written at all.
int runFramedTransfer(TransferContext& ctx, std::string_view image);

// Hex-block protocol at the caller's baud rate, for a terminal that answered "RMT...".
// `answer` is what the terminal sent to the first query (up to 10 bytes). 14 on success; -31 when
// the image is for another terminal, -15 when no S2 record lies in 0x200000-0x220000, -35 when two
// records overlap (those three before anything is sent), -34 without ACK, -32/-33 out of memory,
// -22 when the port would not take a write. Never cancelled.
int runHexBlockTransfer(TransferContext& ctx, std::string_view image, std::string_view answer);

// Line protocol: opens the port itself at 115200 8N1 through `opener` and closes it on every exit.
// `wakeMethod` is the caller's wake-up method. 14 on success; -10, -19, -22, -23, -24, -28, -29, -30.
int runLineTransfer(PortOpener& opener, int portNumber, const std::atomic<std::int32_t>& run,
                    const ProgressFn& progress, std::string_view image, int wakeMethod);

// Raw stream gated by CTS: 1 when the whole image was written (an empty image included), 0 when
// CTS was off, -30 cancelled, -22 when the port did not take a chunk.
int runRawStream(TransferContext& ctx, std::string_view image);

}  // namespace pushkit
