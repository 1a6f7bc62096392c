#include "formwell/link/transfer_commands.h"

#include "formwell/common/app_error.h"
#include "formwell/common/show_file_dialog.h"
#include "formwell/link/comrig_trace.h"
#include "port_words.h"
#include "serial/serial_device.h"

namespace formwell::link {

namespace {
constexpr const char* kIniFilter = "INI File (*.ini)|*.ini||";
constexpr const char* kAnyExtension = "*.*";

// The confirmations name the terminal's menu option; Yes is the first button and the default.
Message confirmation(const char* text) {
    return question(kConfirmTitle, text, Answer::Yes);
}

ComrigTable tracedFor(ComrigTable comrig, TransferHistory* history) {
    if (history == nullptr) {
        return comrig;
    }
    return tracedComrig(std::move(comrig), history->traceStream(), [history] { return history->traceMs(); });
}

std::string countText(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}
}  // namespace

LinkCommands::LinkCommands(UserInteraction& ui, std::string startupDirectory, ComrigTable comrig,
                           TransferGuard& guard, TransferHistory* history)
    : ui_(ui),
      guard_(guard),
      history_(history),
      transfers_(tracedFor(std::move(comrig), history), ui, std::move(startupDirectory), settings_, status_) {
}

void LinkCommands::recordTransfer(std::string_view command, const std::string& file,
                                  const std::string& detail) {
    if (history_ == nullptr) {
        return;
    }
    history_->endTrace();
    if (outcome_ == CommandOutcome::NotStarted) {
        return;
    }
    const TransferReport& report = transfers_.lastReport();
    TransferRecord record;
    record.command = std::string(command);
    record.port = settings_.PortNumber;
    record.device = serial::devicePathForPort(settings_.PortNumber).value_or(std::string());
    record.file = file;
    record.result = outcome_ == CommandOutcome::Succeeded ? "succeeded" : "failed";
    if (command == kReceiveActivity) {
        record.count = countText(report.stored, "record", "records");
    } else if (report.total >= 0) {
        record.count = std::to_string(report.done) + " of " + countText(report.total, "line", "lines");
    } else {
        record.count = "no line sent";
    }
    record.detail = detail;
    history_->record(record);
}

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
    lastDetail_.clear();
    if (history_ != nullptr) {
        history_->beginTrace(kSendActivity);
    }
    std::string path;
    transmitSteps(choosePath, path);
    recordTransfer(kSendActivity, path, lastDetail_);
}

void LinkCommands::transmitSteps(const std::function<std::string()>& choosePath, std::string& path) {
    // The command's own error handler covers the steps before the transfer, chiefly the dialog; it
    // leaves the pointer as it is.
    try {
        path = choosePath();
        if (path.empty()) {
            return;
        }
        if (ui_.show(withDetail(confirmation(kSendConfirmText),
                                portLineTextFrom(transfers_.startupDirectory(), portOverride_))) !=
            Answer::Yes) {
            return;
        }
        ui_.setBusy(true);
        if (!transfers_.sendIniFile(path)) {
            outcome_ = CommandOutcome::Failed;
            lastDetail_ = sendFailureDetail(transfers_.lastReport());
            ui_.show(withDetail(information("Operation Cancelled", "Download Failed!"), lastDetail_));
            ui_.setBusy(false);
            return;
        }
        outcome_ = CommandOutcome::Succeeded;
        ui_.beep();
        ui_.show(information("Process Complete", "Download Process Complete!"));
        ui_.setBusy(false);
    } catch (const AppError& e) {
        outcome_ = CommandOutcome::Failed;
        lastDetail_ = e.text();
        ui_.beep();
        ui_.show(plainNotice(e.text()));
    } catch (const std::exception& e) {
        outcome_ = CommandOutcome::Failed;
        lastDetail_ = errorFromException(e).text();
        ui_.beep();
        ui_.show(plainNotice(lastDetail_));
    }
}

void LinkCommands::receiveFile() {
    const TransferGuard::Scope hold(guard_);
    if (!hold.acquired()) {
        return;  // the running transfer's outcome stays its own
    }
    outcome_ = CommandOutcome::NotStarted;
    lastDetail_.clear();
    if (history_ != nullptr) {
        history_->beginTrace(kReceiveActivity);
    }
    receiveSteps();
    recordTransfer(kReceiveActivity, transfers_.lastReport().dataFile, lastDetail_);
}

void LinkCommands::receiveSteps() {
    ui_.setBusy(true);
    if (ui_.show(withDetail(confirmation(kReceiveConfirmText),
                            portLineTextFrom(transfers_.startupDirectory(), portOverride_))) != Answer::Yes) {
        ui_.setBusy(false);
        return;
    }
    // The transfer traps its own errors; nothing else here can raise one.
    const bool complete = transfers_.receiveDataFile();
    const std::string detail = receiveDetail(transfers_.lastReport(), complete);
    lastDetail_ = detail;
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
