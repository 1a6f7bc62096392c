#include "formwell/link/program_load.h"

#include <exception>

#include "formwell/common/app_error.h"
#include "formwell/common/show_file_dialog.h"
#include "formwell/link/transfers.h"
#include "pushkit.h"

namespace formwell::link {

namespace {

constexpr std::int32_t kNoAcknowledgement = PUSHKIT_ERR_NO_ACK;  // the loader's time-out

// The loader takes the platform's codes: parity 0 none, 1 odd, 2 even; stop bits 0 one, 2 two.
std::int32_t loaderParity(std::int32_t parityCode) {
    return parityCode - 1;
}
std::int32_t loaderStopBits(std::int32_t stopBits) {
    return stopBits == 1 ? 0 : stopBits;
}

}  // namespace

DownloadArguments downloadArguments(const std::string& imagePath, const PortSettings& settings,
                                    const LoadOverrides& overrides) {
    DownloadArguments arguments;
    arguments.imagePath = imagePath;
    arguments.port = overrides.port.value_or(settings.PortNumber);
    arguments.baud = overrides.baud.value_or(settings.BaudRate);
    arguments.dataBits = settings.DataBits;
    arguments.parity = loaderParity(settings.Parity.number());
    arguments.stopBits = loaderStopBits(settings.StopBits);
    arguments.wakeMethod = overrides.wakeMethod;
    return arguments;
}

std::optional<std::string> loadFailureText(std::int32_t result, const std::string& imagePath) {
    if (result == kNoAcknowledgement) {
        return "Timed Out!  File Name: " + imagePath + " was not Downloaded to the Hand Held!";
    }
    if (result < 0) {
        return "File Name: " + imagePath + " was not Downloaded to Hand Held!";
    }
    return std::nullopt;
}

ProgramLoad::ProgramLoad(UserInteraction& ui, std::string startupDirectory, LoadRunner runner,
                         TransferGuard& guard, LoadOverrides overrides)
    : ui_(ui),
      startupDirectory_(std::move(startupDirectory)),
      runner_(std::move(runner)),
      guard_(guard),
      overrides_(std::move(overrides)) {}

bool ProgramLoad::downloadProgram(const std::string& fileName) {
    std::int32_t result = 0;
    try {
        if (!loadPortSettings(startupDirectory_, ui_, settings_)) {
            return false;
        }
        arguments_ = downloadArguments(fileName, settings_, overrides_);
        result = runner_(*arguments_);
        result_ = result;
    } catch (const AppError& e) {
        ui_.beep();
        ui_.show(critical("ERROR", transferErrorText(e)));
        return false;
    } catch (const std::exception& e) {
        ui_.beep();
        ui_.show(critical("ERROR", transferErrorText(errorFromException(e))));
        return false;
    }
    if (const std::optional<std::string> failure = loadFailureText(result, fileName)) {
        ui_.show(plainNotice(*failure));
        return false;
    }
    return true;
}

void ProgramLoad::loadProgramInHht() {
    load(
        [this] { return showFileDialog(ui_, kProgramFileFilter, "Select File to Download", kAnyExtension); });
}

void ProgramLoad::loadProgramInHht(const std::string& path) {
    load([&path] { return path; });
}

void ProgramLoad::load(const std::function<std::string()>& choosePath) {
    const TransferGuard::Scope hold(guard_);
    if (!hold.acquired()) {
        return;  // the running transfer's outcome stays its own
    }
    outcome_ = CommandOutcome::NotStarted;
    result_.reset();
    arguments_.reset();
    ui_.setBusy(true);
    const std::string path = choosePath();
    if (path.empty()) {
        ui_.setBusy(false);
        return;
    }
    if (ui_.show(question("Download ?", kLoadConfirmText, Answer::Yes)) != Answer::Yes) {
        ui_.setBusy(false);
        return;
    }
    ui_.setBusy(true);
    if (!downloadProgram(path)) {
        outcome_ = CommandOutcome::Failed;
        ui_.show(information("Operation Cancelled", "Download Failed!"));
        ui_.setBusy(false);
        return;
    }
    outcome_ = CommandOutcome::Succeeded;
    ui_.setBusy(false);
    ui_.beep();
    ui_.show(information("Process Complete", "Download Process Complete!"));
}

}  // namespace formwell::link
