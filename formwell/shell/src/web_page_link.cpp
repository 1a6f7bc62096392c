#include "formwell/shell/web_page_link.h"

#include "formwell/shell/platform.h"

namespace formwell::shell {

BrowserLauncher systemBrowserLauncher() {
    return BrowserLauncher{
        [] { return browserCommand(); },
        [](const std::string& commandLine, std::string& error) { return startDetached(commandLine, error); }};
}

bool openWebPage(UserInteraction& ui, const BrowserLauncher& launcher, const std::string& address) {
    const std::string command = launcher.lookup ? launcher.lookup() : std::string();
    if (command.empty() || command == kNotFound) {
        ui.show(critical("ERROR", "No browser installed"));
        return false;
    }
    const std::string commandLine = command + " " + address;
    std::string error;
    if (!launcher.start || !launcher.start(commandLine, error)) {
        ui.show(critical("ERROR", "The web browser could not be started (" + commandLine + "): " + error));
        return false;
    }
    return true;
}

}  // namespace formwell::shell
