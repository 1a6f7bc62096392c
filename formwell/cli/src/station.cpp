#include "station.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

#include "child_process.h"
#include "command_support.h"
#include "formwell/common/app_error.h"
#include "formwell/link/loader_results.h"
#include "formwell/link/transfers.h"
#include "load_progress.h"
#include "serial/serial_device.h"
#include "single_load.h"

namespace formwell::cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kRefresh{200};
constexpr std::size_t kBarWidth = 20;
constexpr int kHighestPort = 255;  // the loader takes the port number's low byte

struct Cradle {
    int port = 0;
    std::string device;
    std::unique_ptr<ChildProcess> child;
    std::string startError;
    std::string output;  // what the child printed: its messages, shown when it failed
    std::string reportBuffer;
    link::LoadSnapshot snapshot;
    Clock::time_point started;
    std::optional<std::int32_t> result;
    std::optional<int> exitStatus;
    bool outputOpen = true;
    bool reportOpen = true;

    bool running() const { return child && !exitStatus; }
    std::string label() const { return "COM" + std::to_string(port); }
};

std::string deviceOf(int port) {
    return serial::devicePathForPort(port).value_or("(no device)");
}

std::vector<std::string> childArguments(const CommandContext& c, const StationRequest& r, int port) {
    std::vector<std::string> args = {
        "--dir",         c.global.startupDirectory,     "--yes",   "load",
        "--port",        std::to_string(port),          "--force",  // the station has checked it
        "--progress-fd", std::to_string(kChildReportFd)};
    if (r.overrides.baud) {
        args.insert(args.end(), {"--baud", std::to_string(*r.overrides.baud)});
    }
    args.insert(args.end(), {"--wake", std::to_string(r.overrides.wakeMethod)});
    // After "--", so that an image named "-app.s2" stays a name.
    args.insert(args.end(), {"--", r.image});
    return args;
}

void readReports(Cradle& cradle) {
    std::size_t newline = 0;
    while ((newline = cradle.reportBuffer.find('\n')) != std::string::npos) {
        const std::string line = cradle.reportBuffer.substr(0, newline);
        cradle.reportBuffer.erase(0, newline + 1);
        const std::optional<ChannelEvent> event = parseChannelLine(line);
        if (!event) {
            continue;
        }
        switch (event->kind) {
            case ChannelEvent::Kind::Progress:
                cradle.snapshot.percent = event->percent;
                break;
            case ChannelEvent::Kind::Cancelling:
                cradle.snapshot.cancelRequested = true;
                break;
            case ChannelEvent::Kind::Result:
                cradle.result = event->result;
                break;
        }
    }
}

std::string statusOf(const Cradle& cradle, Clock::time_point now) {
    if (!cradle.child) {
        return "not started: " + cradle.startError;
    }
    link::LoadSnapshot snapshot = cradle.snapshot;
    snapshot.elapsed = now - cradle.started;
    if (cradle.exitStatus) {
        return cradle.result ? "ended: " + std::to_string(*cradle.result) + "  " + clockText(snapshot.elapsed)
                             : "ended  " + clockText(snapshot.elapsed);
    }
    return loadStatusText(snapshot, 0, kBarWidth);
}

class StationDisplay {
  public:
    StationDisplay(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}

    void show(std::vector<Cradle>& cradles, Clock::time_point now) {
        if (terminal_) {
            if (drawn_ > 0) {
                err_ << "\x1b[" << drawn_ << "A";  // back up to the first port's line
            }
            for (const Cradle& c : cradles) {
                err_ << "\r\x1b[K" << c.label() << "  " << c.device << "  " << statusOf(c, now) << '\n';
            }
            drawn_ = cradles.size();
            err_ << std::flush;
            return;
        }
        // Into a file or a pipe: a line when a port passes a quarter, and when it ends.
        for (std::size_t i = 0; i < cradles.size(); ++i) {
            const Cradle& c = cradles[i];
            const int quarter = c.exitStatus             ? 5
                                : c.snapshot.percent < 0 ? -1
                                                         : static_cast<int>(c.snapshot.percent / 25.0);
            if (quarters_.size() < cradles.size()) {
                quarters_.assign(cradles.size(), -1);
            }
            if (quarter > quarters_[i]) {
                quarters_[i] = quarter;
                err_ << c.label() << "  " << statusOf(c, now) << '\n' << std::flush;
            }
        }
    }

  private:
    std::ostream& err_;
    bool terminal_;
    std::size_t drawn_ = 0;
    std::vector<int> quarters_;
};

void printSummary(std::ostream& out, const std::vector<Cradle>& cradles) {
    std::size_t deviceWidth = 6;
    for (const Cradle& c : cradles) {
        deviceWidth = std::max(deviceWidth, c.device.size());
    }
    auto pad = [](std::string text, std::size_t width) {
        return text.size() < width ? text + std::string(width - text.size(), ' ') : text;
    };
    out << pad("port", 6) << "  " << pad("device", deviceWidth) << "  " << pad("result", 48) << "  time\n";
    for (const Cradle& c : cradles) {
        std::string result;
        if (c.result) {
            result = std::to_string(*c.result) + " " + link::loaderResultMeaning(*c.result);
        } else if (!c.child) {
            result = "not started";
        } else {
            result = "no load (exit status " + std::to_string(c.exitStatus.value_or(1)) + ")";
        }
        const std::string time = c.child && c.exitStatus ? clockText(c.snapshot.elapsed) : "-";
        out << pad(c.label(), 6) << "  " << pad(c.device, deviceWidth) << "  " << pad(result, 48) << "  "
            << time << '\n';
    }
    out << std::flush;
}

// What a child said after the question the station had already asked for it.
std::string afterTheQuestion(const std::string& output) {
    constexpr std::string_view kAnswered = "y (--yes)\n";
    const std::size_t at = output.find(kAnswered);
    return at == std::string::npos ? output : output.substr(at + kAnswered.size());
}

// The settings every child will read, read once here: a missing or broken mbx.dat is said once.
bool settingsUsable(CommandContext& c, const StationRequest& r) {
    try {
        link::PortSettings settings;
        if (!link::loadPortSettings(c.global.startupDirectory, c.ui, settings)) {
            return false;
        }
        (void)link::downloadArguments(r.image, settings, r.overrides);
        return true;
    } catch (const AppError& e) {
        c.ui.beep();
        c.ui.show(critical("ERROR", link::transferErrorText(e)));
    }
    return false;
}

}  // namespace

std::vector<int> parsePortList(const std::string& text, std::string& error) {
    std::vector<int> ports;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        int port = -1;
        std::size_t used = 0;
        try {
            port = std::stoi(item, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (item.empty() || used != item.size() || port < 1 || port > kHighestPort) {
            error = "--ports takes port numbers from 1 to 255 separated by commas, e.g. 1,2,3,4";
            return {};
        }
        if (std::find(ports.begin(), ports.end(), port) != ports.end()) {
            error = "--ports names COM" + std::to_string(port) + " twice";
            return {};
        }
        ports.push_back(port);
        start = comma + 1;
    }
    return ports;
}

int runStation(CommandContext& c, const StationRequest& r) {
    std::uint64_t imageBytes = 0;
    if (const auto exit = exitUnlessLoadable(checkBeforeLoading(c, r.image, r.force, imageBytes))) {
        return *exit;
    }
    if (!settingsUsable(c, r)) {
        return kExitFailed;
    }
    if (c.ui.show(question("Download ?", link::kLoadConfirmText, Answer::Yes)) != Answer::Yes) {
        return c.interrupted && c.interrupted() ? kExitCancelled : kExitFailed;
    }

    keepLoadingWhenOutputGoes();
    const std::string program = currentExecutable();
    std::vector<Cradle> cradles;
    for (const int port : r.ports) {
        Cradle cradle;
        cradle.port = port;
        cradle.device = deviceOf(port);
        cradle.started = Clock::now();
        cradle.child = ChildProcess::start(program, childArguments(c, r, port), cradle.startError);
        cradles.push_back(std::move(cradle));
    }

    StationDisplay display(c.err, c.errorIsTerminal);
    bool interrupted = false;
    while (std::any_of(cradles.begin(), cradles.end(), [](const Cradle& x) { return x.running(); })) {
        if (!interrupted && c.interrupted && c.interrupted()) {
            interrupted = true;  // each child cancels its own load; all of them are waited for
            for (Cradle& cradle : cradles) {
                cradle.child ? cradle.child->interrupt() : void();
            }
        }
        std::vector<int> fds;
        for (const Cradle& cradle : cradles) {
            if (cradle.running() && cradle.outputOpen) {
                fds.push_back(cradle.child->output());
            }
            if (cradle.running() && cradle.reportOpen) {
                fds.push_back(cradle.child->report());
            }
        }
        const std::vector<int> ready = readableOf(fds, kRefresh);
        const Clock::time_point now = Clock::now();
        for (Cradle& cradle : cradles) {
            if (!cradle.running()) {
                continue;
            }
            if (std::find(ready.begin(), ready.end(), cradle.child->output()) != ready.end()) {
                cradle.outputOpen = readAvailable(cradle.child->output(), cradle.output);
            }
            if (std::find(ready.begin(), ready.end(), cradle.child->report()) != ready.end()) {
                cradle.reportOpen = readAvailable(cradle.child->report(), cradle.reportBuffer);
                readReports(cradle);
            }
            // A child has ended once both its pipes are closed; then it is reaped.
            if (!cradle.outputOpen && !cradle.reportOpen) {
                cradle.exitStatus = cradle.child->wait();
                cradle.snapshot.elapsed = now - cradle.started;
            } else {
                cradle.snapshot.elapsed = now - cradle.started;
            }
        }
        display.show(cradles, now);
    }
    display.show(cradles, Clock::now());

    printSummary(c.out, cradles);
    bool allLoaded = true;
    for (const Cradle& cradle : cradles) {
        const bool loaded = cradle.exitStatus == kExitSuccess;
        allLoaded = allLoaded && loaded;
        if (!loaded) {
            note(c, cradle.label() + ":");
            c.err << (cradle.child ? afterTheQuestion(cradle.output) : cradle.startError + "\n")
                  << std::flush;
        }
    }
    if (interrupted) {
        note(c, "Ctrl-C: every port was stopped and its port closed");
        return kExitCancelled;
    }
    return allLoaded ? kExitSuccess : kExitFailed;
}

}  // namespace formwell::cli
