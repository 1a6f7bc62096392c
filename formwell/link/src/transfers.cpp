// What the two transfers share: their state, the error box and closing the port after an error.
#include "formwell/link/transfers.h"

namespace formwell::link {

Transfers::Transfers(ComrigTable comrig, UserInteraction& ui, std::string startupDirectory,
                     PortSettings& settings, LinkStatus& status)
    : comrig_(std::move(comrig)),
      ui_(ui),
      startupDirectory_(std::move(startupDirectory)),
      settings_(settings),
      status_(status) {}

bool Transfers::readSettings() {
    if (!loadPortSettings(startupDirectory_, ui_, settings_)) {
        return false;
    }
    if (portOverride_) {
        settings_.PortNumber = *portOverride_;
    }
    return true;
}

std::string transferErrorText(const AppError& error) {
    return "ERROR: " + std::to_string(error.number) + "\r\n" + error.description;
}

// The port number holds whatever the last load left, even when this transfer never opened the port.
// A close that raises in turn (the library that failed to load cannot close anything) must not stop
// the error handler from finishing.
void Transfers::closePortAfterError() {
    try {
        (void)comrig_.ComClose(settings_.PortNumber);
    } catch (const AppError&) {
    } catch (const std::exception&) {
    }
}

void Transfers::reportProgress(std::string_view activity, std::int64_t done, std::int64_t total,
                               bool finished) {
    report_.done = done;
    report_.total = total;
    const std::string unit = activity == kSendActivity ? "lines" : "records";
    ui_.showProgress(Progress{std::string(activity), done, total, unit, finished});
}

}  // namespace formwell::link
