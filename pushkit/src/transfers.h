// The four ways an image goes into a terminal. Download chooses one from the image and the
// terminal's first answer; each returns one of the library's result codes.
#pragma once

#include <cstdint>
#include <string_view>

#include "port.h"
#include "transfer_context.h"

namespace pushkit {

// Framed protocol, port at 19200 baud: 14 on success, else a negative result code
// (or our write-failure code when a frame could not be written at all).
int runFramedTransfer(TransferContext& ctx, std::string_view image);

// Hex-block protocol at the caller's baud rate, for a terminal that answered "RMT...".
// `answer` is what the terminal sent to the first query (up to 10 bytes).
int runHexBlockTransfer(TransferContext& ctx, std::string_view image, std::string_view answer);

// Line protocol: opens the port itself at 115200 8N1 through `opener` and closes it on every exit.
// `ctx.port` is unused; `wakeMethod` is the caller's wake-up method. 14 on success.
int runLineTransfer(PortOpener& opener, int portNumber, const std::atomic<std::int32_t>& run,
                    const ProgressFn& progress, std::string_view image, int wakeMethod);

// Raw stream gated by CTS: 1 when the whole image was written, 0 when CTS was off, -30 cancelled.
int runRawStream(TransferContext& ctx, std::string_view image);

}  // namespace pushkit
