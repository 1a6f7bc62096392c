#include "abi_result.h"

#include <cstddef>
#include <iterator>

#include "pushkit.h"

namespace pushkit {

namespace {

struct AbiRow {
    DownloadResult result;
    pushkit_result number;
};

// The one table from outcomes to the ABI's numbers, one row per outcome in the enum's order. The
// numbers are pushkit.h's own names, so the header and the library cannot disagree about one.
constexpr AbiRow kAbiResults[] = {
    {DownloadResult::SrecordLoaded, PUSHKIT_SRECORD_LOADED},
    {DownloadResult::HexLoaded, PUSHKIT_HEX_LOADED},
    {DownloadResult::PortOpenFailed, PUSHKIT_ERR_PORT},
    {DownloadResult::ImageOpenFailed, PUSHKIT_ERR_IMAGE_FILE},
    {DownloadResult::UnknownHexPrefix, PUSHKIT_ERR_HEX_PREFIX},
    {DownloadResult::UnknownKind, PUSHKIT_ERR_UNKNOWN_KIND},
    {DownloadResult::NoAnswer, PUSHKIT_ERR_NO_ANSWER},
    {DownloadResult::NoS2Record, PUSHKIT_ERR_NO_S2_RECORD},
    {DownloadResult::VersionTooLow, PUSHKIT_ERR_VERSION},
    {DownloadResult::NoAckOpenMarkers, PUSHKIT_ERR_OPEN_MARKERS},
    {DownloadResult::NoAck, PUSHKIT_ERR_NO_ACK},
    {DownloadResult::NoAckCloseMarker, PUSHKIT_ERR_CLOSE_MARKER},
    {DownloadResult::CtsOff, PUSHKIT_ERR_CTS_OFF},
    {DownloadResult::WriteFailed, PUSHKIT_ERR_WRITE},
    {DownloadResult::NoAckFirstFrame, PUSHKIT_ERR_FIRST_FRAME},
    {DownloadResult::NoAckLineCount, PUSHKIT_ERR_LINE_COUNT},
    {DownloadResult::NoAckErase, PUSHKIT_ERR_ERASE},
    {DownloadResult::HeaderMismatch, PUSHKIT_ERR_HEADER},
    {DownloadResult::NoWakeCode, PUSHKIT_ERR_WAKE_SPEED},
    {DownloadResult::LineProtocolCodeByte, PUSHKIT_ERR_LINE_WAKE},
    {DownloadResult::Cancelled, PUSHKIT_ERR_CANCELLED},
    {DownloadResult::IdentMismatch, PUSHKIT_ERR_IDENT},
    {DownloadResult::NoMemoryList, PUSHKIT_ERR_NO_MEMORY_LIST},
    {DownloadResult::NoMemoryRecord, PUSHKIT_ERR_NO_MEMORY_RECORD},
    {DownloadResult::HexBlockNoAck, PUSHKIT_ERR_HEX_BLOCK_NO_ACK},
    {DownloadResult::OverlappingRecords, PUSHKIT_ERR_OVERLAP},
    {DownloadResult::Busy, PUSHKIT_ERR_BUSY},
    {DownloadResult::OutOfMemory, PUSHKIT_ERR_NO_MEMORY},
    {DownloadResult::IdentTooLong, PUSHKIT_ERR_LONG_IDENT},
    {DownloadResult::FlashAnswerTooLong, PUSHKIT_ERR_LONG_FLASH_ANSWER},
    {DownloadResult::InternalError, PUSHKIT_ERR_INTERNAL},
};

constexpr bool oneRowPerOutcomeInOrder() {
    if (std::size(kAbiResults) != static_cast<std::size_t>(kDownloadResultCount)) {
        return false;
    }
    for (std::size_t i = 0; i < std::size(kAbiResults); ++i) {
        if (kAbiResults[i].result != static_cast<DownloadResult>(i)) {
            return false;
        }
    }
    return true;
}

constexpr bool numbersDistinct() {
    for (std::size_t i = 0; i < std::size(kAbiResults); ++i) {
        for (std::size_t j = i + 1; j < std::size(kAbiResults); ++j) {
            if (kAbiResults[i].number == kAbiResults[j].number) {
                return false;
            }
        }
    }
    return true;
}

constexpr bool onlyLoadedImagesPositive() {
    for (const AbiRow& row : kAbiResults) {
        const bool loaded =
            row.result == DownloadResult::SrecordLoaded || row.result == DownloadResult::HexLoaded;
        if (loaded != (row.number > 0)) {
            return false;
        }
    }
    return true;
}

static_assert(oneRowPerOutcomeInOrder(), "every DownloadResult needs its row, in the enum's order");
static_assert(numbersDistinct(),
              "two outcomes would leave under one number, and callers could not tell them apart");
// Callers take every non-negative result for success: no failure may leave as one.
static_assert(onlyLoadedImagesPositive(), "only a loaded image may give a positive number");

}  // namespace

std::int32_t abiResult(DownloadResult result) {
    const auto row = static_cast<std::size_t>(result);
    return row < std::size(kAbiResults) ? kAbiResults[row].number : PUSHKIT_ERR_INTERNAL;
}

}  // namespace pushkit
