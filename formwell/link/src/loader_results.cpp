#include "formwell/link/loader_results.h"

#include "pushkit.h"

namespace formwell::link {

std::string loaderResultMeaning(std::int32_t result) {
    switch (result) {
        case PUSHKIT_SRECORD_LOADED:
            return "S-record image loaded";
        case PUSHKIT_HEX_LOADED:
            return "Intel HEX image loaded";
        case PUSHKIT_ERR_PORT:
            return "the serial port could not be opened";
        case PUSHKIT_ERR_IMAGE_FILE:
            return "the image file could not be opened or read";
        case PUSHKIT_ERR_HEX_PREFIX:
            return "a .HEX image whose name starts with none of VKD, VKF, VKL, VKS";
        case PUSHKIT_ERR_UNKNOWN_KIND:
            return "the terminal's identification names no kind the loader knows";
        case PUSHKIT_ERR_NO_ANSWER:
            return "the terminal did not answer; is it in its loader menu?";
        case PUSHKIT_ERR_NO_S2_RECORD:
            return "the image holds no S2 record";
        case PUSHKIT_ERR_VERSION:
            return "the terminal's version is below the one the image requires";
        case PUSHKIT_ERR_OPEN_MARKERS:
            return "no acknowledgement of the opening marker records";
        case PUSHKIT_ERR_NO_ACK:
            return "timed out: no acknowledgement after the full number of attempts";
        case PUSHKIT_ERR_CLOSE_MARKER:
            return "no acknowledgement of the closing marker record";
        case PUSHKIT_ERR_CTS_OFF:
            return "the terminal held its CTS line off";
        case PUSHKIT_ERR_WRITE:
            // A port whose device has gone refuses every write: this is how a load sees a USB adapter
            // pulled out or a line that hung up.
            return "a frame could not be written to the port: its device went away or its line hung up, "
                   "as when the cradle's USB adapter is unplugged, or it stopped taking bytes; plug it in "
                   "again and repeat the load";
        case PUSHKIT_ERR_FIRST_FRAME:
            return "no acknowledgement of the erase notice or of the first line frame";
        case PUSHKIT_ERR_LINE_COUNT:
            return "no acknowledgement of the line-count frame";
        case PUSHKIT_ERR_ERASE:
            return "no acknowledgement of a flash erase";
        case PUSHKIT_ERR_HEADER:
            return "the application header is missing, malformed or names another terminal";
        case PUSHKIT_ERR_WAKE_SPEED:
            return "the wake-up method has no code for the speed asked";
        case PUSHKIT_ERR_LINE_WAKE:
            return "VKS images cannot be sent with wake-up method 2";
        case PUSHKIT_ERR_CANCELLED:
            return "cancelled";
        case PUSHKIT_ERR_IDENT:
            return "the image is for another terminal than the one answering";
        case PUSHKIT_ERR_NO_MEMORY_LIST:
        case PUSHKIT_ERR_NO_MEMORY_RECORD:
        case PUSHKIT_ERR_NO_MEMORY:
            return "out of memory";
        case PUSHKIT_ERR_HEX_BLOCK_NO_ACK:
            return "no acknowledgement after three attempts";
        case PUSHKIT_ERR_OVERLAP:
            return "two records of the image claim the same bytes";
        case PUSHKIT_ERR_BUSY:
            return "another load is running in this process";
        case PUSHKIT_ERR_INTERNAL:
            return "an unexpected failure inside the loader";
        case PUSHKIT_ERR_LONG_IDENT:
            return "the identification answer was longer than 18 bytes; is another device or noise on the "
                   "line?";
        case PUSHKIT_ERR_LONG_FLASH_ANSWER:
            return "the flash query's answer was longer than 3 bytes; nothing was erased";
        default:
            return result >= 0 ? "loaded" : "an unknown failure";
    }
}

std::string loaderResultLine(std::int32_t result) {
    return "result: " + std::to_string(result) + " (" + loaderResultMeaning(result) + ")";
}

FlashTouch flashTouchAfter(std::int32_t result, std::int64_t progressReports, bool markersFirst) {
    if (result >= 0) {
        return FlashTouch::Untouched;
    }
    if (progressReports > 0) {
        return FlashTouch::Changed;
    }
    switch (result) {
        case PUSHKIT_ERR_OPEN_MARKERS:  // a marker record, which writes the flash, went out
        case PUSHKIT_ERR_ERASE:         // an erase frame went out
        case PUSHKIT_ERR_CLOSE_MARKER:  // after every record
            return FlashTouch::Changed;
        case PUSHKIT_ERR_FIRST_FRAME:        // the erase notice, or the line protocol's opening frame
        case PUSHKIT_ERR_LONG_FLASH_ANSWER:  // the block-size query before the erase
            return markersFirst ? FlashTouch::Possibly : FlashTouch::Untouched;
        case PUSHKIT_ERR_PORT:
        case PUSHKIT_ERR_IMAGE_FILE:
        case PUSHKIT_ERR_HEX_PREFIX:
        case PUSHKIT_ERR_UNKNOWN_KIND:
        case PUSHKIT_ERR_NO_ANSWER:
        case PUSHKIT_ERR_NO_S2_RECORD:
        case PUSHKIT_ERR_VERSION:
        case PUSHKIT_ERR_CTS_OFF:  // without a report: CTS was off before the first chunk
        case PUSHKIT_ERR_HEADER:
        case PUSHKIT_ERR_WAKE_SPEED:
        case PUSHKIT_ERR_LINE_WAKE:
        case PUSHKIT_ERR_IDENT:
        case PUSHKIT_ERR_NO_MEMORY_LIST:
        case PUSHKIT_ERR_NO_MEMORY_RECORD:
        case PUSHKIT_ERR_OVERLAP:
        case PUSHKIT_ERR_BUSY:
        case PUSHKIT_ERR_LONG_IDENT:
            return FlashTouch::Untouched;
        default:
            // A time-out, a failed write, a cancel, the line count, a failure inside the loader, and the
            // hex-block protocol's no-answer (an image within one block is written without an erase
            // command): each can come before the first erase or write or after it.
            return FlashTouch::Possibly;
    }
}

std::string flashWarning(FlashTouch touch) {
    switch (touch) {
        case FlashTouch::Untouched:
            break;
        case FlashTouch::Changed:
            return "The loader had begun to erase or write the terminal's flash: the terminal's program is "
                   "erased or partial. Load a program into it again before the terminal is used.";
        case FlashTouch::Possibly:
            return "The load stopped where the loader may already have begun to erase the terminal's flash: "
                   "the terminal's program may be erased or partial. Load a program into it again before "
                   "the terminal is used.";
    }
    return {};
}

}  // namespace formwell::link
