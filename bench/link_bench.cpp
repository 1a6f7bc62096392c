// The INI send and the data receive through the real libcomrig against the simulated terminal
// (hhtsim --baud-throttle), at 9600 and 19200 baud: elapsed time over the protocol's floor (its fixed
// pauses plus wire time), and this process's CPU time over wall time during each transfer.
//
//   build/bin/bench_link [records]      (default 200)
//
// hhtsim paces only what the terminal sends; a pseudo-terminal takes what the PC writes at once. So
// two floors are printed: the protocol's (both directions on the wire) and the one this set-up can
// reach (the PC's bytes cost nothing).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formwell/link/comrig_table.h"
#include "formwell/link/transfers.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class Quiet : public formwell::UserInteraction {
  public:
    formwell::Answer show(const formwell::Message& m) override {
        std::fprintf(stderr, "  message: %s: %s\n", m.shownTitle().c_str(), m.text.c_str());
        return formwell::Answer::Ok;
    }
    void beep() override {}
    void setBusy(bool) override {}
    void processEvents() override {}
    std::string chooseFile(const formwell::FileDialogRequest&) override { return {}; }
};

struct Terminal {
    pid_t pid = -1;
    std::string device;
};

Terminal startTerminal(const std::vector<std::string>& switches) {
    std::vector<std::string> args{HHTSIM_PATH, "--once", "--baud-throttle"};
    args.insert(args.end(), switches.begin(), switches.end());
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    Terminal t;
    const int failed = ::posix_spawn(&t.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (failed != 0) {
        ::close(out[0]);
        return {};
    }
    std::string line;
    char chunk[256];
    pollfd pfd{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&pfd, 1, 10000) > 0) {
        const ssize_t got = ::read(out[0], chunk, sizeof chunk);
        if (got <= 0) {
            break;
        }
        line.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    t.device = line.substr(0, line.find('\n'));
    return t;
}

void stopTerminal(Terminal& t) {
    if (t.pid > 0) {
        ::kill(t.pid, SIGTERM);
        ::waitpid(t.pid, nullptr, 0);
    }
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wire time of n bytes at 10 bits a byte (start, 8 data, stop), in milliseconds.
double wireMs(double bytes, int baud) {
    return bytes * 10.0 * 1000.0 / baud;
}

struct Result {
    bool ok = false;
    double wallMs = 0;
    double cpuMs = 0;
};

template <typename Run>
Result measure(Run&& run) {
    const double cpu0 = cpuSeconds();
    const auto start = Clock::now();
    Result r;
    r.ok = run();
    r.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    r.cpuMs = (cpuSeconds() - cpu0) * 1000.0;
    return r;
}

void report(const char* what, int baud, const Result& r, double floorMs, double reachableMs) {
    std::printf(
        "%-8s %5d baud  %s  %8.0f ms   floor %8.0f ms  ratio %.3f   reachable floor %8.0f ms  ratio %.3f"
        "   CPU/wall %.2f %%\n",
        what, baud, r.ok ? "ok    " : "FAILED", r.wallMs, floorMs, r.wallMs / floorMs, reachableMs,
        r.wallMs / reachableMs, 100.0 * r.cpuMs / r.wallMs);
}

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 200;
    const fs::path dir = fs::temp_directory_path() / "formwell_link_bench";
    fs::remove_all(dir);
    fs::create_directories(dir);

    // 42-character INI records; data records of the same length.
    std::string ini;
    std::string data;
    for (int i = 0; i < records; ++i) {
        char record[64];
        std::snprintf(record, sizeof record, "FIELD%-9dText  14YN010111111111111111", i);
        ini += std::string(record) + "\r\n";
        std::snprintf(record, sizeof record, "ITEM%08d;%05d;20261208;A01;XXXXXXXXXX", i, i % 997);
        data += std::string(record) + "\n";
    }
    std::ofstream(dir / "bench.ini", std::ios::binary) << ini;
    std::ofstream(dir / "records.txt", std::ios::binary) << data;
    const double frameBytes = 42 + 5;

    Quiet ui;
    formwell::link::PortSettings settings;
    formwell::link::LinkStatus status;
    for (const int baud : {9600, 19200}) {
        std::ofstream(dir / "mbx.dat", std::ios::binary)
            << (baud == 9600 ? "Com1:9600  8N10" : "Com1:19200 8N10");
        formwell::link::Transfers transfers(formwell::link::boundComrig(), ui, dir.string(), settings,
                                            status);

        // Send: SOH after 100 ms, its ACK read 100 ms later; each frame on the wire, its ACK read
        // 100 ms after; EOT after 20 ms, its ACK read 150 ms later.
        Terminal ini_terminal =
            startTerminal({"--role", "ini-receiver", "--out", (dir / "received.ini").string()});
        ::setenv("COM1", ini_terminal.device.c_str(), 1);
        const Result send = measure([&] { return transfers.sendIniFile((dir / "bench.ini").string()); });
        stopTerminal(ini_terminal);
        const double sendPauses = 200 + records * 100.0 + 170;
        const double sendFloor = sendPauses + wireMs(1 + records * frameBytes + 1, baud);
        report("send", baud, send, sendFloor, sendPauses);

        // Receive: SOH after 100 ms, its ACK read 100 ms later (the terminal's first frame arrives
        // meanwhile). Each record: the check byte read 1 ms after the frame, the ACK on the wire, then
        // the PC's 50 ms pause, during which the terminal already sends its next frame: a record
        // costs 1 ms, the ACK and the longer of 50 ms and the frame's wire time. The last "frame" is
        // the EOT.
        Terminal data_terminal =
            startTerminal({"--role", "data-sender", "--records", (dir / "records.txt").string()});
        ::setenv("COM1", data_terminal.device.c_str(), 1);
        const Result receive = measure([&] { return transfers.receiveDataFile(); });
        stopTerminal(data_terminal);
        const double frameWire = wireMs(frameBytes, baud);
        const double ackWire = wireMs(1, baud);
        const double cycle = 1 + std::max(50.0, frameWire);
        const double receiveFloor = 200 + (records - 1) * (cycle + ackWire) + (1 + ackWire + 50);
        const double receiveReachable = 200 + (records - 1) * cycle + 51;
        report("receive", baud, receive, receiveFloor, receiveReachable);
    }
    fs::remove_all(dir);
    return 0;
}
