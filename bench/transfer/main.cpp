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
// after. The last rows time a framed load, an INI send and a receive through a USB adapter's latency
// timer (16 ms, its factory setting, and 1 ms) against the same transfer without it, in turns;
// "--only timer" runs those alone.
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
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pty_round_trip.h"
#include "runs.h"

namespace {

namespace fs = std::filesystem;
using bench::Measured;
using bench::Protocol;
using bench::Row;
using std::chrono::milliseconds;

constexpr int kRoundTrips = 2000;

std::string loadAverage() {
    double load[3] = {0, 0, 0};
    if (::getloadavg(load, 3) != 3) {
        return "unknown";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

// A folder of its own for every run, so that a failed run's logs outlive the runs after it.
fs::path makeWorkDir() {
    static int made = 0;
    const fs::path dir =
        fs::temp_directory_path() /
        ("formwell-bench-transfer-" + std::to_string(::getpid()) + "-" + std::to_string(++made));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// One run of the row; a failure is printed with the folder that keeps its logs.
std::optional<Measured> runOnce(const Row& row, milliseconds latencyTimer) {
    const fs::path dir = makeWorkDir();
    Measured m = bench::runTransfer(row, dir, latencyTimer);
    const std::string problem = !m.failure.empty() ? m.failure : m.floor.problem;
    if (!problem.empty()) {
        std::printf("%-12s %7d FAILED: %s (logs in %s)\n", row.name.c_str(), row.baud, problem.c_str(),
                    dir.c_str());
        return std::nullopt;
    }
    fs::remove_all(dir);
    return m;
}

std::string loadText(const Row& row) {
    if (!bench::isLinkTransfer(row.protocol)) {
        return std::to_string(row.dataBytes / 1024) + " KiB";
    }
    return std::to_string(row.dataBytes) + (row.protocol == Protocol::IniSend ? " lines" : " records");
}

// The same transfer without a USB adapter's latency timer and through each of `timers`, in turns a
// round at a time, so that every ratio compares runs taken moments apart. False when a run failed.
bool compareLatencyTimers(const Row& row, std::span<const milliseconds> timers, int runs) {
    struct Round {
        double without = 0;
        std::vector<double> with;
    };
    std::vector<Round> rounds;
    for (int run = 0; run < runs; ++run) {
        Round round;
        const std::optional<Measured> plain = runOnce(row, milliseconds(0));
        if (!plain) {
            return false;
        }
        round.without = plain->elapsed;
        for (const milliseconds timer : timers) {
            const std::optional<Measured> held = runOnce(row, timer);
            if (!held) {
                return false;
            }
            round.with.push_back(held->elapsed);
        }
        rounds.push_back(std::move(round));
    }
    for (std::size_t t = 0; t < timers.size(); ++t) {
        const auto ratio = [t](const Round& r) { return r.with[t] / r.without; };
        std::sort(rounds.begin(), rounds.end(),
                  [&](const Round& a, const Round& b) { return ratio(a) < ratio(b); });
        const Round& median = rounds[rounds.size() / 2];
        char range[32];
        std::snprintf(range, sizeof range, "%.3f-%.3f", ratio(rounds.front()), ratio(rounds.back()));
        std::printf("%-12s %7d %11s %5lld ms %11.3f %9.3f %8.3f %15s\n", row.name.c_str(), row.baud,
                    loadText(row).c_str(), static_cast<long long>(timers[t].count()), median.without,
                    median.with[t], ratio(median), range);
    }
    std::fflush(stdout);
    return true;
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
    bool allGood = true;
    bool headed = false;
    for (const Row& row : rows) {
        const std::string label = row.name + " " + std::to_string(row.baud);
        if (!only.empty() && label.find(only) == std::string::npos) {
            continue;
        }
        if (!headed) {
            headed = true;
            std::printf("%-12s %7s %10s %9s %9s %9s %8s %15s %6s %8s %9s\n", "transfer", "baud", "load",
                        "wire B", "elapsed s", "floor s", "ratio", "lowest-highest", "pty", "CPU ms",
                        "CPU/wall");
        }
        std::vector<Measured> measured;
        bool failed = false;
        for (int run = 0; run < runs && !failed; ++run) {
            std::optional<Measured> m = runOnce(row, milliseconds(0));
            failed = !m;
            if (m) {
                measured.push_back(std::move(*m));
            }
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
        const std::string load = loadText(row);
        const double pty = static_cast<double>(m.handOvers) * roundTrip / 2 / m.floor.seconds;
        std::printf("%-12s %7d %10s %9zu %9.3f %9.3f %8.4f %15s %5.2f%% %8.1f %8.2f%%\n", row.name.c_str(),
                    row.baud, load.c_str(), m.floor.hostBytes + m.floor.terminalBytes, m.elapsed,
                    m.floor.seconds, ratio(m), range, 100 * pty, m.cpu * 1000, 100 * m.cpu / m.elapsed);
        std::fflush(stdout);
    }

    // A USB adapter's latency timer, at its factory setting and lowered as far as it goes. "--only
    // timer" runs these rows alone.
    const std::vector<Row> timerRows = {
        {"framed", Protocol::Framed, 19200, 32768 / scale},
        {"ini-send", Protocol::IniSend, 9600, 200 / scale},
        {"receive", Protocol::DataReceive, 9600, 200 / scale},
    };
    constexpr milliseconds kTimers[] = {milliseconds(16), milliseconds(1)};
    headed = false;
    for (const Row& row : timerRows) {
        const std::string label = row.name + " " + std::to_string(row.baud) + " timer";
        if (!only.empty() && label.find(only) == std::string::npos) {
            continue;
        }
        if (!headed) {
            headed = true;
            std::printf(
                "through a USB adapter's latency timer (hhtsim --latency-timer), elapsed with the "
                "timer over without it, in turns:\n%-12s %7s %11s %8s %11s %9s %8s %15s\n",
                "transfer", "baud", "load", "timer", "without s", "with s", "ratio", "lowest-highest");
        }
        allGood = compareLatencyTimers(row, kTimers, runs) && allGood;
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    return allGood ? 0 : 1;
}
