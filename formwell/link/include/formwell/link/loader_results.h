// Download's results in words, for people reading a console, a log or a message box's detail:
// "S-record image loaded", "cancelled"; and what a failed load may have left in the terminal.
#pragma once

#include <cstdint>
#include <string>

namespace formwell::link {

std::string loaderResultMeaning(std::int32_t result);

// "result: -19 (timed out: ...)", as formwell-cli prints it.
std::string loaderResultLine(std::int32_t result);

// Whether a load that did not succeed had begun to erase or write the terminal's flash. Download
// does not tell; it follows from where each result can arise and from the progress hook, which every
// transfer calls only after it has sent image data to the terminal.
enum class FlashTouch {
    Untouched,  // the result arises only before the first erase or write command
    Possibly,   // the result arises before and after it, and no progress was reported
    Changed,    // progress was reported, or the result arises only after an erase or write was sent
};

// `markersFirst`: the image names a terminal kind whose loads write marker records before erasing,
// so even a failure on the way to the erase may have changed the flash.
FlashTouch flashTouchAfter(std::int32_t result, std::int64_t progressReports, bool markersFirst);

// What the person must be told; empty for Untouched.
std::string flashWarning(FlashTouch touch);

}  // namespace formwell::link
