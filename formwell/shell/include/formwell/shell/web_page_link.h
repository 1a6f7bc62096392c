// Opening the maker's web page from the About box: look up the browser command, append the address
// and start it without waiting. Plain logic over the user-interaction seam so that the messages are
// checked without a browser or a display.
#pragma once

#include <functional>
#include <string>

#include "formwell/common/user_interaction.h"

namespace formwell::shell {

inline constexpr const char* kMakerWebAddress = "http://www.veltrax.example/";

struct BrowserLauncher {
    std::function<std::string()> lookup;                                            // browserCommand()
    std::function<bool(const std::string& commandLine, std::string& error)> start;  // startDetached()
};

// The launcher that uses the system's registered browser.
BrowserLauncher systemBrowserLauncher();

// The registered command is not parsed: the address goes after whatever it holds, one blank apart.
// Returns true when a browser was started.
bool openWebPage(UserInteraction& ui, const BrowserLauncher& launcher, const std::string& address);

}  // namespace formwell::shell
