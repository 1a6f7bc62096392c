#include "formwell/link/transfer_commands.h"

#include "formwell/common/app_error.h"
#include "formwell/common/show_file_dialog.h"

namespace formwell::link {

namespace {
constexpr const char* kIniFilter = "INI File (*.ini)|*.ini||";
constexpr const char* kAnyExtension = "*.*";

// The confirmations name the terminal's menu option; Yes is the first button and the default.
Message confirmation(const char* text) {
    return question(kConfirmTitle, text, Answer::Yes);
}
}  // namespace

LinkCommands::LinkCommands(UserInteraction& ui, std::string startupDirectory, ComrigTable comrig,
                           TransferGuard& guard)
    : ui_(ui),
      guard_(guard),
      transfers_(std::move(comrig), ui, std::move(startupDirectory), settings_, status_) {}

void LinkCommands::transmitIniFile() {
    transmit([this] { return showFileDialog(ui_, kIniFilter, kSendDialogTitle, kAnyExtension); });
}

void LinkCommands::transmitIniFile(const std::string& path) {
    transmit([&path] { return path; });
}

void LinkCommands::transmit(const std::function<std::string()>& choosePath) {
    const TransferGuard::Scope hold(guard_);
    if (!hold.acquired()) {
        return;  // the running transfer's outcome stays its own
    }
    outcome_ = CommandOutcome::NotStarted;
    // The command's own error handler covers the steps before the transfer, chiefly the dialog; it
    // leaves the pointer as it is.
    try {
        const std::string path = choosePath();
        if (path.empty()) {
            return;
        }
        if (ui_.show(confirmation(kSendConfirmText)) != Answer::Yes) {
            return;
        }
        ui_.setBusy(true);
        if (!transfers_.sendIniFile(path)) {
            outcome_ = CommandOutcome::Failed;
            ui_.show(withDetail(information("Operation Cancelled", "Download Failed!"),
                                sendFailureDetail(transfers_.lastReport())));
            ui_.setBusy(false);
            return;
        }
        outcome_ = CommandOutcome::Succeeded;
        ui_.beep();
        ui_.show(information("Process Complete", "Download Process Complete!"));
        ui_.setBusy(false);
    } catch (const AppError& e) {
        outcome_ = CommandOutcome::Failed;
        ui_.beep();
        ui_.show(plainNotice(e.text()));
    } catch (const std::exception& e) {
        outcome_ = CommandOutcome::Failed;
        ui_.beep();
        ui_.show(plainNotice(errorFromException(e).text()));
    }
}

void LinkCommands::receiveFile() {
    const TransferGuard::Scope hold(guard_);
    if (!hold.acquired()) {
        return;  // the running transfer's outcome stays its own
    }
    outcome_ = CommandOutcome::NotStarted;
    ui_.setBusy(true);
    if (ui_.show(confirmation(kReceiveConfirmText)) != Answer::Yes) {
        ui_.setBusy(false);
        return;
    }
    // The transfer traps its own errors; nothing else here can raise one.
    const bool complete = transfers_.receiveDataFile();
    const std::string detail = receiveDetail(transfers_.lastReport(), complete);
    ui_.beep();
    if (complete) {
        outcome_ = CommandOutcome::Succeeded;
        ui_.show(withDetail(information("Upload Complete", "Upload Complete ..."), detail));
    } else {
        outcome_ = CommandOutcome::Failed;
        ui_.show(withDetail(information("Upload Failed", "Data Upload Failed ..."), detail));
    }
    ui_.setBusy(false);
}

}  // namespace formwell::link
