// Sending an INI file: one frame per line, each acknowledged by the terminal, between the SOH and the
// EOT handshakes. The lines are not parsed: any text file the user picked goes exactly as stored.
#include <optional>

#include "formwell/link/transfers.h"
#include "send_lines.h"
#include "transfer_ending.h"

namespace formwell::link {

bool Transfers::sendIniFile(const std::string& path) {
    std::optional<SendLines> file;
    Ending ending(*this, kSendActivity, Ending::Order::PortLast, [&] {
        if (file) {
            file->close();
        }
    });
    try {
        file.emplace(std::filesystem::path(path));
        const std::int64_t total = countSendLines(std::filesystem::path(path));
        if (!loadPortSettings(startupDirectory_, ui_, settings_)) {
            return ending.finish(false);
        }
        Link link(comrig_, settings_, ui_, status_, onOpenFailure_);
        if (!link.openLink()) {
            return ending.finish(false);
        }
        ending.portOpened();
        // From here the person sees the transfer under way, the handshake's 10 s included.
        ending.startReporting(total);
        if (!link.requestLink(kSendRequestTries)) {
            return ending.finish(false);
        }
        std::string line;
        std::int64_t sent = 0;
        while (file->next(line)) {
            // The remaining lines are not sent once one frame goes unacknowledged.
            if (!link.sendFrame(buildFrame(line), kFrameTries)) {
                return ending.finish(false);
            }
            ending.report(++sent);
            ui_.processEvents();
        }
        return ending.finish(link.releaseLink(kReleaseTries));
    } catch (const AppError& e) {
        return ending.fail(e);
    } catch (const std::exception& e) {
        return ending.fail(errorFromException(e));
    }
}

}  // namespace formwell::link
