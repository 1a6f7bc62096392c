// What the shell needs from the operating system: which command opens a web page, how to start a
// program without waiting for it, and which program shows a text file. One implementation per
// platform (platform_posix.cpp, platform_win32.cpp); the choice is made by the build.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace formwell::shell {

// The answer of the browser lookup when no browser is registered or the lookup failed.
inline constexpr const char* kNotFound = "Not Found";

// The command that opens a web page, as registered with the system; the web address goes after it,
// separated by one blank. kNotFound (or empty) when there is none.
std::string browserCommand();

// Makes a file that cannot grow (a file-size limit) a failed write the transfer reports, instead of
// the end of the program in the middle of a record.
void reportFileSizeLimitAsError();

// Starts a program in its own window and returns at once. On failure returns false and fills
// `error` with the reason. The command line form is taken as the system's shell would split it.
bool startDetached(const std::string& commandLine, std::string& error);
bool startDetached(const std::string& program, const std::vector<std::string>& arguments, std::string& error);

struct ProgramCall {
    std::string program;
    std::vector<std::string> arguments;
};

using ProgramFailure = std::function<void(const std::string& reason)>;

// Starts a program without waiting, like startDetached, and watches it: should it end in failure
// (xdg-open that found no viewer ends at once with a status), `failedLater` is called with the reason
// from the event loop. Where a start already shows every failure (Windows), nothing is watched.
bool startWatched(const ProgramCall& call, std::string& error, ProgramFailure failedLater);

// The desktop's text viewer opening `path`.
ProgramCall textViewerCommand(const std::string& path);

// The POSIX stand-in for the registered browser command, kept apart so it can be checked without
// touching the environment: $BROWSER's first entry when set, else the xdg-open found on PATH.
std::string browserCommandFrom(const std::string& browserVariable, const std::string& xdgOpenPath);

}  // namespace formwell::shell
