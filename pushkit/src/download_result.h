// How a download ends, and how its steps end on the way. The transfers name outcomes; only
// abi_result.cpp turns them into the numbers of pushkit.h.
#pragma once

#include <optional>

namespace pushkit {

// Every result Download can give, in the order of pushkit.h save InternalError, which stays last: the
// count of outcomes is taken from it.
enum class DownloadResult {
    SrecordLoaded,  // framed or hex-block protocol
    HexLoaded,      // raw stream or line protocol
    PortOpenFailed,
    ImageOpenFailed,  // missing, no regular file, too large, unreadable
    UnknownHexPrefix,
    UnknownKind,  // the identification names no kind the loader knows
    NoAnswer,     // no identification or presence answer
    NoS2Record,
    VersionTooLow,
    NoAckOpenMarkers,  // framed, kind 103 named by the image
    NoAck,             // a step without a code of its own
    NoAckCloseMarker,  // framed, kind 103 named by the image
    CtsOff,            // raw stream
    WriteFailed,       // a frame could not be written to the port at all
    NoAckFirstFrame,   // the "\fErasing" display frame, or the line protocol's first frame
    NoAckLineCount,    // line protocol
    NoAckErase,
    HeaderMismatch,        // application header missing, malformed or for another terminal
    NoWakeCode,            // the wake-up method has no code for the speed
    LineProtocolCodeByte,  // the line protocol asked for the code-byte wake-up
    Cancelled,
    IdentMismatch,   // hex-block: the image is for another terminal
    NoMemoryList,    // hex-block record list
    NoMemoryRecord,  // hex-block record
    HexBlockNoAck,
    OverlappingRecords,  // hex-block: two records claim the same bytes
    Busy,                // another Download runs in this process
    OutOfMemory,         // outside the hex-block record list
    IdentTooLong,        // framed: the identification answer ran past its 18 bytes
    FlashAnswerTooLong,  // framed: the flash query's answer ran past its three bytes
    InternalError,       // an exception nobody expected
};
inline constexpr int kDownloadResultCount = static_cast<int>(DownloadResult::InternalError) + 1;

// One step of a transfer: empty when it is done and the transfer goes on, else how the download ends.
using StepFailure = std::optional<DownloadResult>;

// A wait for the terminal's acknowledgement of what was just sent.
enum class AckResult { Acked, NoAck, Cancelled, WriteFailed };

// An acknowledged exchange as a step. Silence after the last attempt becomes the step's own result
// where it has one (`noAck`); a cancel and an unwritten frame end every step alike.
constexpr StepFailure stepFailure(AckResult ack, DownloadResult noAck = DownloadResult::NoAck) {
    switch (ack) {
        case AckResult::Acked:
            return std::nullopt;
        case AckResult::NoAck:
            return noAck;
        case AckResult::Cancelled:
            return DownloadResult::Cancelled;
        case AckResult::WriteFailed:
            return DownloadResult::WriteFailed;
    }
    return DownloadResult::InternalError;
}

}  // namespace pushkit
