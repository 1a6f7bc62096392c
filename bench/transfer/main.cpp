// Transfers timed against the simulated terminal on a modelled wire (hhtsim --baud-throttle), each
// against its floor: the wire time of every byte that went over in both directions plus the fixed
// waits its protocol mandates for a terminal that answers at once. Prints elapsed / floor and the
// host's CPU time over wall time for every protocol at every speed it uses, measured in one run.
// The loads run in this process through libpushkit.so's Download (CPU: this process during the
// call); the INI send and the data receive run formwell-cli send-ini and receive (through
// libcomrig.so) as processes of their own, timed and measured whole, start-up included.
//
//   build/bin/bench_transfer [--quick] [--only TEXT] [--runs N]
//
// --quick loads an eighth of the data (a smoke run; ratios carry more noise); --only runs the rows
// whose name contains TEXT; --runs repeats each row N times (default 3) and prints the run with the
// median ratio, and the lowest and highest ratio beside it: on a shared machine one run in several
// is held up by other programs. Run it on a quiet machine: the load average is printed before and
// after.
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "images.h"
#include "processes.h"
#include "pty_round_trip.h"
#include "pushkit.h"
#include "wire_floor.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::Floor;
using bench::WireMessage;

constexpr int kPort = 7;
constexpr int kBitsPerCharacter = 10;  // 8N1
constexpr std::chrono::milliseconds kStartBound{10000};
constexpr std::chrono::milliseconds kEndBound{30000};
constexpr std::chrono::milliseconds kLinkBound{600000};
constexpr int kLinkPort = 1;
constexpr std::size_t kDataRecordLength = 40;
constexpr int kRoundTrips = 2000;

enum class Protocol { Framed, HexBlock, Line, IniSend, DataReceive };

struct Row {
    std::string name;
    Protocol protocol;
    int baud;
    std::size_t dataBytes;  // of the image, or the number of INI lines or data records
};

struct Measured {
    double elapsed = 0;
    double cpu = 0;
    Floor floor;
    std::size_t handOvers = 0;  // the times the wire turned round: the terminal answered, or the host
    std::string failure;
};

std::size_t countHandOvers(const std::vector<WireMessage>& messages) {
    std::size_t turns = 0;
    for (std::size_t i = 1; i < messages.size(); ++i) {
        turns += messages[i].fromHost != messages[i - 1].fromHost ? 1 : 0;
    }
    return turns;
}

std::string loadAverage() {
    double load[3] = {0, 0, 0};
    if (::getloadavg(load, 3) != 3) {
        return "unknown";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

fs::path makeWorkDir() {
    const fs::path dir =
        fs::temp_directory_path() / ("formwell-bench-transfer-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

Measured runLoad(const Row& row, const fs::path& dir) {
    Measured m;
    bench::BenchImage image;
    std::string file;
    std::vector<std::string> args{HHTSIM_PATH,       "--once",
                                  "--baud-throttle", "--punctual",
                                  "--wire-log",      (dir / "wire").string(),
                                  "--flash-out",     (dir / "flash.s2").string(),
                                  "--log",           (dir / "terminal.log").string()};
    int expected = PUSHKIT_SRECORD_LOADED;
    switch (row.protocol) {
        case Protocol::Framed:
            image = bench::framedImage(row.dataBytes);
            file = "program.s2";
            args.insert(args.end(), {"--role", "loader"});
            break;
        case Protocol::HexBlock:
            image = bench::hexBlockImage(row.dataBytes);
            file = "program.s2";
            args.insert(args.end(), {"--role", "rmt-loader"});
            break;
        case Protocol::Line:
            image = bench::lineImage(row.dataBytes);
            file = "VKSBENCH.HEX";
            args.insert(args.end(), {"--role", "line-loader"});
            expected = PUSHKIT_HEX_LOADED;
            break;
        case Protocol::IniSend:
        case Protocol::DataReceive:
            m.failure = "not a load";
            return m;
    }
    std::ofstream(dir / file, std::ios::binary) << image.text;

    bench::Child terminal(args, true);
    const std::string device = terminal.firstLine(kStartBound);
    if (device.empty()) {
        m.failure = "the simulated terminal did not start";
        return m;
    }
    ::setenv(("COM" + std::to_string(kPort)).c_str(), device.c_str(), 1);

    const double cpuBefore = bench::processCpuSeconds();
    const auto start = Clock::now();
    const int result = Download((dir / file).c_str(), kPort, row.baud, 8, 0, 0, 0);
    m.elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    m.cpu = bench::processCpuSeconds() - cpuBefore;

    const bench::Child::Exit exit = terminal.wait(kEndBound);
    bench::ByteMap flash;
    std::string difference;
    if (result != expected) {
        m.failure = "Download returned " + std::to_string(result);
    } else if (exit.status != 0) {
        m.failure = "the terminal did not complete the load (exit " + std::to_string(exit.status) + ")";
    } else if (!bench::readFlashDump(dir / "flash.s2", flash) ||
               !bench::holdsEvery(flash, image.bytes, difference)) {
        m.failure = "the terminal's flash differs from the image: " + difference;
    }

    std::vector<WireMessage> messages;
    std::string problem;
    if (!bench::readWireLog(dir / "wire", messages, problem)) {
        m.failure += problem;
        return m;
    }
    m.handOvers = countHandOvers(messages);
    const double c = static_cast<double>(kBitsPerCharacter) / row.baud;
    switch (row.protocol) {
        case Protocol::Framed:
            m.floor = bench::framedFloor(messages, c);
            break;
        case Protocol::HexBlock:
            m.floor = bench::hexBlockFloor(messages, c);
            break;
        case Protocol::Line:
            m.floor = bench::lineProtocolFloor(messages, c);
            break;
        case Protocol::IniSend:
        case Protocol::DataReceive:
            break;
    }
    return m;
}

// The port settings line the editor writes for COM1 at this speed, 8 data bits, no parity, 1 stop bit.
std::string portSettingsLine(int baud) {
    std::string speed = std::to_string(baud);
    speed.resize(6, ' ');
    return "Com" + std::to_string(kLinkPort) + ":" + speed + "8N10";
}

// formwell-cli send-ini or receive as its own process: its whole life is timed, start-up included,
// and its CPU time is its own user and system time.
Measured runLink(const Row& row, const fs::path& dir) {
    Measured m;
    const int count = static_cast<int>(row.dataBytes);
    const std::string ini = bench::iniFile(count);
    const std::string records = bench::dataRecords(count, kDataRecordLength);
    std::ofstream(dir / "mbx.dat", std::ios::binary) << portSettingsLine(row.baud);
    std::ofstream(dir / "send.ini", std::ios::binary) << ini;
    std::ofstream(dir / "records.txt", std::ios::binary) << records;
    const bool sending = row.protocol == Protocol::IniSend;

    std::vector<std::string> args{HHTSIM_PATH,       "--once",
                                  "--baud-throttle", "--punctual",
                                  "--wire-log",      (dir / "wire").string(),
                                  "--log",           (dir / "terminal.log").string()};
    if (sending) {
        args.insert(args.end(), {"--role", "ini-receiver", "--out", (dir / "received.ini").string()});
    } else {
        args.insert(args.end(), {"--role", "data-sender", "--records", (dir / "records.txt").string()});
    }
    bench::Child terminal(args, true);
    const std::string device = terminal.firstLine(kStartBound);
    if (device.empty()) {
        m.failure = "the simulated terminal did not start";
        return m;
    }
    ::setenv(("COM" + std::to_string(kLinkPort)).c_str(), device.c_str(), 1);

    std::vector<std::string> cli{FORMWELL_CLI_PATH, "--dir", dir.string(), "--yes"};
    if (sending) {
        cli.insert(cli.end(), {"send-ini", (dir / "send.ini").string()});
    } else {
        cli.push_back("receive");
    }
    const auto start = Clock::now();
    bench::Child program(cli, false, (dir / "formwell-cli.out").string());
    const bench::Child::Exit done = program.wait(kLinkBound);
    m.elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    m.cpu = done.cpuSeconds;
    const bench::Child::Exit exit = terminal.wait(kEndBound);

    std::ifstream stored(dir / (sending ? "received.ini" : "import.txt"), std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(stored)), std::istreambuf_iterator<char>());
    std::string expected = ini;
    if (!sending) {
        expected.clear();
        std::istringstream lines(records);
        for (std::string line; std::getline(lines, line);) {
            expected += line + "\r\n";
        }
    }
    if (done.status != 0) {
        std::ifstream said(dir / "formwell-cli.out");
        const std::string text((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
        m.failure = "formwell-cli ended with " + std::to_string(done.status) + ": " + text;
    } else if (exit.status != 0) {
        m.failure = "the terminal did not complete the transfer (exit " + std::to_string(exit.status) + ")";
    } else if (got != expected) {
        m.failure =
            std::string(sending ? "the terminal received" : "import.txt holds") + " other text than was sent";
    }
    std::vector<WireMessage> messages;
    std::string problem;
    if (!bench::readWireLog(dir / "wire", messages, problem)) {
        m.failure += problem;
        return m;
    }
    m.handOvers = countHandOvers(messages);
    const double c = static_cast<double>(kBitsPerCharacter) / row.baud;
    m.floor = sending ? bench::iniSendFloor(messages, c) : bench::dataReceiveFloor(messages, c);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string only;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            runs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--only TEXT] [--runs N]\n", argv[0]);
            return 2;
        }
    }
    const std::size_t scale = quick ? 8 : 1;
    const std::vector<Row> rows = {
        {"framed", Protocol::Framed, 19200, 32768 / scale},
        {"hex-block", Protocol::HexBlock, 9600, 16384 / scale},
        {"hex-block", Protocol::HexBlock, 19200, 16384 / scale},
        {"hex-block", Protocol::HexBlock, 38400, 16384 / scale},
        {"hex-block", Protocol::HexBlock, 115200, 16384 / scale},
        {"line", Protocol::Line, 115200, 32768 / scale},
        {"ini-send", Protocol::IniSend, 9600, 200 / scale},
        {"ini-send", Protocol::IniSend, 19200, 200 / scale},
        {"receive", Protocol::DataReceive, 9600, 200 / scale},
        {"receive", Protocol::DataReceive, 19200, 200 / scale},
    };

    std::printf(
        "transfer benchmark: hhtsim --baud-throttle, 8N1; %d cores; %d run(s) a row; load average %s\n",
        get_nprocs(), runs, loadAverage().c_str());
    // "pty" below: the hand-overs of the row's median run at half a round trip each, over its floor.
    // A pseudo-terminal that cannot be set up here leaves the column at zero rather than negative.
    const double roundTrip = std::max(0.0, bench::ptyRoundTripSeconds(kRoundTrips));
    std::printf("one-byte round trip through a pseudo-terminal: %.1f us (median of %d)\n", roundTrip * 1e6,
                kRoundTrips);
    std::printf("%-12s %7s %10s %9s %9s %9s %8s %15s %6s %8s %9s\n", "transfer", "baud", "load", "wire B",
                "elapsed s", "floor s", "ratio", "lowest-highest", "pty", "CPU ms", "CPU/wall");
    bool allGood = true;
    for (const Row& row : rows) {
        const std::string label = row.name + " " + std::to_string(row.baud);
        if (!only.empty() && label.find(only) == std::string::npos) {
            continue;
        }
        const bool link = row.protocol == Protocol::IniSend || row.protocol == Protocol::DataReceive;
        std::vector<Measured> measured;
        bool failed = false;
        for (int run = 0; run < runs && !failed; ++run) {
            const fs::path dir = makeWorkDir();
            Measured m = link ? runLink(row, dir) : runLoad(row, dir);
            const std::string problem = !m.failure.empty() ? m.failure : m.floor.problem;
            if (!problem.empty()) {
                // The logs of a failed run stay for a look at what went over the wire.
                failed = true;
                std::printf("%-12s %7d FAILED: %s (logs in %s)\n", row.name.c_str(), row.baud,
                            problem.c_str(), dir.c_str());
                break;
            }
            fs::remove_all(dir);
            measured.push_back(std::move(m));
        }
        if (failed) {
            allGood = false;
            continue;
        }
        const auto ratio = [](const Measured& m) { return m.elapsed / m.floor.seconds; };
        std::sort(measured.begin(), measured.end(),
                  [&](const Measured& a, const Measured& b) { return ratio(a) < ratio(b); });
        const Measured& m = measured[measured.size() / 2];
        char range[32];
        std::snprintf(range, sizeof range, "%.4f-%.4f", ratio(measured.front()), ratio(measured.back()));
        const std::string load =
            link ? std::to_string(row.dataBytes) + (row.protocol == Protocol::IniSend ? " lines" : " records")
                 : std::to_string(row.dataBytes / 1024) + " KiB";
        const double pty = static_cast<double>(m.handOvers) * roundTrip / 2 / m.floor.seconds;
        std::printf("%-12s %7d %10s %9zu %9.3f %9.3f %8.4f %15s %5.2f%% %8.1f %8.2f%%\n", row.name.c_str(),
                    row.baud, load.c_str(), m.floor.hostBytes + m.floor.terminalBytes, m.elapsed,
                    m.floor.seconds, ratio(m), range, 100 * pty, m.cpu * 1000, 100 * m.cpu / m.elapsed);
        std::fflush(stdout);
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    return allGood ? 0 : 1;
}
