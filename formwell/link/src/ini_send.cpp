// Sending an INI file: one frame per line, each acknowledged by the terminal, between the SOH and the
// EOT handshakes. The lines are not parsed: any text file the user picked goes exactly as stored.
#include <optional>

#include "formwell/link/transfers.h"
#include "send_lines.h"

namespace formwell::link {

bool Transfers::sendIniFile(const std::string& path) {
    std::optional<SendLines> file;
    std::int64_t sent = 0;
    std::int64_t total = 0;
    bool reporting = false;
    // Every path from here closes the file, and every path after the port was opened closes the port.
    auto fail = [&](bool portOpen) {
        file->close();
        if (portOpen) {
            (void)comrig_.ComClose(settings_.PortNumber);
        }
        if (reporting) {
            reportProgress(kSendActivity, sent, total, true);
        }
        return false;
    };
    // The error handler: the box first, then the port (the receive does it the other way round).
    auto onError = [&](const AppError& error) {
        ui_.beep();
        if (file) {
            file->close();
        }
        status_.record(buttonCode(ui_.show(critical("ERROR", transferErrorText(error)))));
        closePortAfterError();
        if (reporting) {
            reportProgress(kSendActivity, sent, total, true);
        }
        return false;
    };
    try {
        file.emplace(std::filesystem::path(path));
        total = countSendLines(std::filesystem::path(path));
        if (!loadPortSettings(startupDirectory_, ui_, settings_)) {
            return fail(false);
        }
        Link link(comrig_, settings_, ui_, status_, onOpenFailure_);
        if (!link.openLink()) {
            return fail(false);
        }
        // From here the person sees the transfer under way, the handshake's 10 s included.
        reporting = true;
        reportProgress(kSendActivity, 0, total, false);
        if (!link.requestLink(kSendRequestTries)) {
            return fail(true);
        }
        std::string line;
        while (file->next(line)) {
            // The remaining lines are not sent once one frame goes unacknowledged.
            if (!link.sendFrame(buildFrame(line), kFrameTries)) {
                return fail(true);
            }
            ++sent;
            reportProgress(kSendActivity, sent, total, false);
            ui_.processEvents();
        }
        if (!link.releaseLink(kReleaseTries)) {
            return fail(true);
        }
        file->close();
        (void)comrig_.ComClose(settings_.PortNumber);
        reportProgress(kSendActivity, sent, total, true);
        return true;
    } catch (const AppError& e) {
        return onError(e);
    } catch (const std::exception& e) {
        return onError(errorFromException(e));
    }
}

}  // namespace formwell::link
