// The terminal's parts in the exchanges a host can start. Each role plays one exchange and returns how
// it ended; the caller decides whether to wait for the next one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hhtsim/flash_image.h"
#include "hhtsim/options.h"
#include "hhtsim/terminal.h"
#include "hhtsim/terminal_codec.h"

namespace hhtsim {

enum class Outcome {
    Completed,
    Abandoned,  // the host fell silent or closed the port, a frame was refused, the terminal gave up
    Failed,     // the terminal could not store what it received
    Stopped,    // SIGINT/SIGTERM
    HungUp,     // --hangup-after closed the line
};

struct Session {
    Terminal& terminal;
    const Options& options;
    FlashImage& flash;
    const std::vector<std::string>& records;
};

Outcome runRole(Session& session);
Outcome runAuto(Session& session);
// sohAnswered: the opening SOH has already been acknowledged (auto mode does that to tell the two apart).
Outcome runIniReceiver(Session& session, bool sohAnswered);
Outcome runDataSender(Session& session, bool sohAnswered);
Outcome runFramedLoader(Session& session);
Outcome runRmtLoader(Session& session);
Outcome runLineLoader(Session& session);

// Helpers shared by the roles.
namespace role {

// Waits for a byte. Outside an exchange there is no time limit and a host closing the port is only
// logged; inside one, the idle time-out and a host close end the exchange. Returns the byte, or sets end.
std::optional<std::uint8_t> next(Session& session, bool inExchange, Outcome& end);

// Writes text to path through a temporary file, so a reader never sees half a file. Logs and reports a
// failure on standard error.
bool storeFile(Session& session, const std::string& path, const std::string& text);

// After a loader session: the flash image to --flash-out, when asked for.
bool saveFlash(Session& session);

void logStray(Session& session, std::uint8_t byte);

// Feeds `reader` the byte that began a message and then the line's bytes until the message is
// whole. False when the exchange ended first (`end` says how).
template <typename Reader>
bool readWhole(Session& session, Reader& reader, std::uint8_t first, Outcome& end) {
    reader.reset();
    FeedStatus status = reader.feed(first);
    while (status == FeedStatus::More) {
        auto more = next(session, true, end);
        if (!more) {
            return false;
        }
        status = reader.feed(*more);
    }
    return true;
}

// The link's opening handshake from the terminal's side: waits for the host's SOH and answers ACK.
// Empty when the handshake completed, else how the session ended while waiting.
std::optional<Outcome> answerOpeningSoh(Session& session);

Bytes plainAck(std::uint8_t ack);

}  // namespace role

}  // namespace hhtsim
