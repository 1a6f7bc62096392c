// Several ports at once need the station's child processes, which this platform does not have yet:
// every call says so, and formwell-cli load --ports reports it as an error.
#include "child_process.h"

namespace formwell::cli {

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string&, const std::vector<std::string>&,
                                                  std::string& error) {
    error = "loading several ports at once is not available on Windows yet; load one port per command";
    return nullptr;
}

ChildProcess::~ChildProcess() = default;
void ChildProcess::interrupt() {}
std::optional<int> ChildProcess::poll() {
    return 1;
}
int ChildProcess::wait() {
    return 1;
}
std::string currentExecutable() {
    return {};
}
std::vector<int> readableOf(const std::vector<int>&, std::chrono::milliseconds) {
    return {};
}
bool readAvailable(int, std::string&) {
    return false;
}
void writeAll(int, const std::string&) {}
void keepLoadingWhenOutputGoes() {}

}  // namespace formwell::cli
