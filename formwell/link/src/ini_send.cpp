// Sending an INI file: one frame per line, each acknowledged by the terminal, between the SOH and the
// EOT handshakes. The lines are not parsed: any text file the user picked goes exactly as stored.
#include <optional>

#include "formwell/link/transfers.h"
#include "send_lines.h"
#include "transfer_ending.h"

namespace formwell::link {

bool Transfers::sendIniFile(const std::string& path) {
    report_ = TransferReport{};
    std::optional<SendLines> file;
    Ending ending(*this, kSendActivity, Ending::Order::PortLast, [&] {
        if (file) {
            file->close();
        }
    });
    try {
        file.emplace(std::filesystem::path(path));
        const std::int64_t total = countSendLines(std::filesystem::path(path));
        if (!readSettings()) {
            return ending.finish(false);
        }
        Link link(comrig_, settings_, ui_, status_);
        if (!link.openLink()) {
            return ending.finish(false);
        }
        ending.portOpened();
        // From here the person sees the transfer under way, the handshake's 10 s included.
        ending.startReporting(total);
        report_.lines = total;
        if (!link.requestLink(kSendRequestTries)) {
            report_.cause =
                link.lineLost() ? TransferReport::Cause::LineLost : TransferReport::Cause::NoLinkAnswer;
            report_.tries = kSendRequestTries;
            return ending.finish(false);
        }
        std::string line;
        std::int64_t sent = 0;
        while (file->next(line)) {
            // The remaining lines are not sent once one frame goes unacknowledged.
            if (!link.sendFrame(buildFrame(line), kFrameTries)) {
                report_.cause =
                    link.lineLost() ? TransferReport::Cause::LineLost : TransferReport::Cause::LineRefused;
                report_.tries = kFrameTries;
                report_.line = sent + 1;
                return ending.finish(false);
            }
            ending.report(++sent);
            ui_.processEvents();
        }
        if (!link.releaseLink(kReleaseTries)) {
            report_.cause =
                link.lineLost() ? TransferReport::Cause::LineLost : TransferReport::Cause::EndRefused;
            report_.tries = kReleaseTries;
            report_.lines = sent;  // the file may have changed since it was counted
            report_.line = sent + 1;
            return ending.finish(false);
        }
        return ending.finish(true);
    } catch (const AppError& e) {
        return ending.fail(e);
    } catch (const std::exception& e) {
        return ending.fail(errorFromException(e));
    }
}

}  // namespace formwell::link
