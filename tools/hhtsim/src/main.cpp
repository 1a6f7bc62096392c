// hhtsim: a simulated hand-held terminal on a pseudo-terminal. See --help.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "hhtsim/adapter_line.h"
#include "hhtsim/chaos.h"
#include "hhtsim/pty.h"
#include "hhtsim/roles.h"

namespace {

int gStopWrite = -1;

extern "C" void onStopSignal(int) {
    int saved = errno;
    char byte = 1;
    (void)!::write(gStopWrite, &byte, 1);
    errno = saved;
}

constexpr int kExitDone = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The symlink the user asked for; removed on exit only while it still points at our device.
class DeviceLink {
  public:
    DeviceLink() = default;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    ~DeviceLink() {
        if (path_.empty()) {
            return;
        }
        std::error_code error;
        if (std::filesystem::is_symlink(path_, error) &&
            std::filesystem::read_symlink(path_, error) == target_) {
            std::filesystem::remove(path_, error);
        }
    }

    bool make(const std::string& path, const std::string& target, std::string& message) {
        std::error_code error;
        auto status = std::filesystem::symlink_status(path, error);
        if (std::filesystem::exists(status) && !std::filesystem::is_symlink(status)) {
            message = path + " exists and is not a symbolic link; not replacing it";
            return false;
        }
        if (std::filesystem::is_symlink(status)) {
            std::filesystem::remove(path, error);
        }
        std::filesystem::create_symlink(target, path, error);
        if (error) {
            message = "cannot make the link " + path + ": " + error.message();
            return false;
        }
        path_ = path;
        target_ = target;
        return true;
    }

  private:
    std::filesystem::path path_;
    std::filesystem::path target_;
};

bool loadRecords(const std::string& path, std::vector<std::string>& records, std::string& message) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        message = "cannot read the records file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        records.push_back(line);
    }
    if (in.bad()) {
        message = "cannot read the records file " + path;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace hhtsim;
    auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (auto* error = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr, "%s\n", error->message.c_str());
        return kExitUsage;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        std::fputs(helpText().c_str(), stdout);
        return kExitDone;
    }

    std::optional<ChaosPlan> chaos;
    if (options.chaos) {
        chaos.emplace(*options.chaos, options.role);
    }
    if (options.chaosPlan) {
        if (!chaos) {
            std::fprintf(stderr, "hhtsim: --chaos-plan needs --chaos\n");
            return kExitUsage;
        }
        std::fputs(chaos->describe(*options.chaosPlan).c_str(), stdout);
        return kExitDone;
    }

    EventLog log;
    std::string message;
    if (!options.log.empty() && !log.open(options.log, message)) {
        std::fprintf(stderr, "hhtsim: %s\n", message.c_str());
        return kExitFailure;
    }
    if (!options.record.empty() && !log.openRecord(options.record, message)) {
        std::fprintf(stderr, "hhtsim: %s\n", message.c_str());
        return kExitFailure;
    }
    if (!options.wireLog.empty() && !log.openWire(options.wireLog, message)) {
        std::fprintf(stderr, "hhtsim: %s\n", message.c_str());
        return kExitFailure;
    }
#ifdef __linux__
    // A paced byte is due every 87 us at 115200 baud; the default timer slack of 50 us would make
    // every wake-up late by about that much.
    if (options.misbehaviour.baudThrottle) {
        (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }
#endif
    std::vector<std::string> records;
    bool sendsRecords = options.role == Role::DataSender || options.role == Role::Auto;
    if (sendsRecords && !options.records.empty() && !loadRecords(options.records, records, message)) {
        std::fprintf(stderr, "hhtsim: %s\n", message.c_str());
        return kExitFailure;
    }

    int stopPipe[2];
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "hhtsim: cannot make the stop pipe: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    gStopWrite = stopPipe[1];
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    auto opened = PtyLine::open(stopPipe[0], log);
    if (auto* error = std::get_if<std::string>(&opened)) {
        std::fprintf(stderr, "hhtsim: %s\n", error->c_str());
        return kExitFailure;
    }
    auto& line = *std::get<std::unique_ptr<PtyLine>>(opened);
    line.setPunctual(options.punctual);
    DeviceLink link;
    if (!options.link.empty() && !link.make(options.link, line.devicePath(), message)) {
        std::fprintf(stderr, "hhtsim: %s\n", message.c_str());
        return kExitFailure;
    }
    std::printf("%s\n", line.devicePath().c_str());
    std::fflush(stdout);
    log.note(std::string("START role=") + roleName(options.role) + " device=" + line.devicePath());

    std::optional<AdapterLine> adapter;
    if (options.latencyTimer.count() > 0) {
        adapter.emplace(line, options.latencyTimer);
    }
    Terminal terminal(adapter ? static_cast<Line&>(*adapter) : line, log, options.misbehaviour);
    if (chaos) {
        terminal.setChaos(&*chaos);
        const std::string seed =
            "CHAOS seed=" + std::to_string(*options.chaos) + " role=" + roleName(options.role);
        log.note(seed);
        log.record(seed);
    }
    FlashImage flash;
    Session session{terminal, options, flash, records};
    Outcome outcome = Outcome::Abandoned;
    for (;;) {
        outcome = runRole(session);
        static constexpr const char* kNames[] = {"completed", "abandoned", "failed", "stopped", "hung-up"};
        log.note(std::string("EXCHANGE ") + kNames[static_cast<int>(outcome)]);
        log.record(std::string("EXCHANGE ") + kNames[static_cast<int>(outcome)]);
        if (options.once || outcome == Outcome::Stopped || outcome == Outcome::HungUp) {
            break;
        }
    }
    if (adapter) {
        (void)adapter->settle();
    }
    line.drain();
    log.note("EXIT");
    if (options.once) {
        return outcome == Outcome::Completed ? kExitDone : kExitFailure;
    }
    return kExitDone;
}
