// Download's results: positive is success, negative names the step that failed.
#pragma once

namespace pushkit::result {

inline constexpr int kSrecordLoaded = 14;
inline constexpr int kHexLoaded = 10;
inline constexpr int kAccepted = 11;    // application header fits the terminal
inline constexpr int kRangeFound = 15;  // address range holds at least one S2 record
inline constexpr int kPortOpenFailed = -10;
inline constexpr int kImageOpenFailed = -11;
inline constexpr int kUnknownHexPrefix = -12;
inline constexpr int kUnknownKind = -13;
inline constexpr int kNoAnswer = -14;
inline constexpr int kNoS2Record = -15;
inline constexpr int kVersionTooLow = -16;
inline constexpr int kNoAckOpenMarkers = -18;
inline constexpr int kNoAck = -19;
inline constexpr int kNoAckCloseMarker = -20;
inline constexpr int kCtsOff = -21;
inline constexpr int kWriteFailed = -22;  // a frame could not be written to the port at all
inline constexpr int kNoAckFirstFrame = -23;
inline constexpr int kNoAckLineCount = -24;
inline constexpr int kNoAckErase = -25;
inline constexpr int kHeaderMismatch = -26;
inline constexpr int kNoWakeCode = -28;
inline constexpr int kLineProtocolCodeByte = -29;
inline constexpr int kCancelled = -30;
inline constexpr int kIdentMismatch = -31;
inline constexpr int kNoMemoryList = -32;
inline constexpr int kNoMemoryRecord = -33;
inline constexpr int kHexBlockNoAck = -34;
inline constexpr int kOverlappingRecords = -35;  // hex-block: two records claim the same bytes
inline constexpr int kBusy = -36;                // another Download runs in this process
inline constexpr int kOutOfMemory = -37;         // out of memory outside the hex-block record list
inline constexpr int kInternalError = -38;       // an unexpected failure inside the library

}  // namespace pushkit::result
