// The four ways an image goes into a terminal. Download chooses one from the image and the
// terminal's first answer.
#pragma once

#include <cstdint>
#include <string_view>

#include "download_result.h"
#include "port.h"
#include "transfer_context.h"

namespace pushkit {

// Framed protocol, port at 19200 baud: SrecordLoaded, or how it failed.
DownloadResult runFramedTransfer(TransferContext& ctx, std::string_view image);

// Hex-block protocol at the caller's baud rate, for a terminal that answered "RMT...".
// `answer` is what the terminal sent to the first query (up to 10 bytes). SrecordLoaded;
// IdentMismatch when the image is for another terminal, NoS2Record when no S2 record lies in
// 0x200000-0x220000, OverlappingRecords when two records overlap (those three before anything is
// sent), HexBlockNoAck, NoMemoryList / NoMemoryRecord, WriteFailed. Never cancelled.
DownloadResult runHexBlockTransfer(TransferContext& ctx, std::string_view image, std::string_view answer);

// Line protocol: opens the port itself at 115200 8N1 through `opener` and closes it on every exit.
// `wakeMethod` is the caller's wake-up method. HexLoaded; PortOpenFailed, NoAck, WriteFailed,
// NoAckFirstFrame, NoAckLineCount, NoWakeCode, LineProtocolCodeByte, Cancelled.
DownloadResult runLineTransfer(PortOpener& opener, int portNumber, const std::atomic<std::int32_t>& run,
                               const ProgressFn& progress, std::string_view image, int wakeMethod);

// Raw stream gated by CTS: HexLoaded when the whole image was written (an empty image included),
// CtsOff when the terminal held CTS off, Cancelled, WriteFailed when the port did not take a chunk.
DownloadResult runRawStream(TransferContext& ctx, std::string_view image);

}  // namespace pushkit
