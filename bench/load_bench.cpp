// A program load through formwell-cli against the simulated terminal (hhtsim --baud-throttle, which
// paces both directions at the line's speed), at 19200 baud:
// - elapsed time over the framed protocol's floor (its fixed waits and time-outs plus the wire time
//   of every byte both ways), and over the same load through the library called directly: the
//   command line must add nothing measurable;
// - CPU time over wall time, for the library in this process and for formwell-cli as a process;
// - the station: 4 cradles at once against 1, each behind its own simulated terminal.
//
//   build/bin/bench_load [KiB]        (default 128)
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

#include "formwell/link/pushkit_table.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBaud = 19200;
constexpr std::size_t kRecordBytes = 32;
constexpr std::uint32_t kBase = 0x200100;
constexpr std::uint32_t kBlockBytes = 0x10000;  // the simulated flash answers with large blocks

struct Image {
    std::string text;
    std::size_t records = 0;
    double recordFrameBytes = 0;  // every record frame as it crosses the line, 0x10 doubled
    std::uint32_t high = 0;
};

Image makeImage(std::size_t kib) {
    Image image;
    image.text = "S20E2000004B5452206279205A414EDC\r\n";  // kind 103, named by the image
    image.records = kib * 1024 / kRecordBytes;
    char field[8];
    for (std::size_t r = 0; r < image.records; ++r) {
        const std::uint32_t address = kBase + static_cast<std::uint32_t>(r * kRecordBytes);
        unsigned sum = static_cast<unsigned>(kRecordBytes + 4) + (address >> 16) + ((address >> 8) & 0xFF) +
                       (address & 0xFF);
        std::snprintf(field, sizeof field, "S2%02X", static_cast<unsigned>(kRecordBytes + 4));
        image.text += field;
        std::snprintf(field, sizeof field, "%06X", address);
        image.text += field;
        double frame = 2 + 3 + 3;  // DLE STX, address, DLE ETX BCC
        for (const unsigned shift : {16u, 8u, 0u}) {
            frame += ((address >> shift) & 0xFF) == 0x10 ? 1 : 0;
        }
        for (std::size_t i = 0; i < kRecordBytes; ++i) {
            const unsigned byte = static_cast<unsigned>((r * 7 + i * 13) & 0xFF);
            sum += byte;
            frame += byte == 0x10 ? 2 : 1;
            std::snprintf(field, sizeof field, "%02X", byte);
            image.text += field;
        }
        std::snprintf(field, sizeof field, "%02X", ~sum & 0xFFu);
        image.text += field;
        image.text += "\r\n";
        image.recordFrameBytes += frame + 1;  // and the terminal's ACK
        image.high = address + kRecordBytes;
    }
    return image;
}

double wireMs(double bytes) {
    return bytes * 10.0 * 1000.0 / kBaud;  // start bit, 8 data bits, stop bit
}

// The framed protocol's floor for an image that names kind 103:
// - the hex-block query and the identification query, 100 ms after each, and the wait for an answer
//   the framed loader never gives (a 10-byte read: 100 ms + 100 ms a byte), then the 1-byte read of a
//   stray byte (200 ms);
// - 500 ms after the opening markers, 700 ms after each block erase, 100 ms after the first display
//   frame, 50 ms after the last frame;
// - the wire time of every byte both ways: the record frames and their ACKs, the queries and their
//   answers, the markers, erases, about one display frame per percent, the clock and the close.
double framedFloorMs(const Image& image) {
    const double waits = 100 + 100 + (100 + 100 * 10) + 200;
    const double blocks = (image.high - 0x200000) / kBlockBytes + 1;
    const double fixed = 500 + 700 * blocks + 100 + 50;
    const double queries = 6 + 4 + 2 * (4 + 9);         // RMT and identification probes, presence check
    const double markers = 3 * (9 + 1) + 3 * (10 + 1);  // two opening records and the close, their ACKs
    const double erase = (9 + 3) + (18 + 1) + blocks * (10 + 1);  // flash query, "Erasing", erase frames
    const double display = (22 + 1) + 100 * (21 + 1) + (23 + 1);  // 0 %, each percent, 100 %
    const double closing = (9 + 1) + (15 + 1) + 9;                // closing marker, clock, close
    return waits + fixed + wireMs(image.recordFrameBytes + queries + markers + erase + display + closing);
}

struct Terminal {
    pid_t pid = -1;
    std::string device;
};

Terminal startTerminal() {
    std::vector<std::string> args{HHTSIM_PATH, "--once", "--baud-throttle", "--role", "loader"};
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
    std::string line;
    char chunk[256];
    pollfd pfd{out[0], POLLIN, 0};
    while (failed == 0 && line.find('\n') == std::string::npos && ::poll(&pfd, 1, 10000) > 0) {
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

double seconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

struct Run {
    bool ok = false;
    double wallMs = 0;
    double cpuMs = 0;
};

Run loadInProcess(const std::string& image, const formwell::link::PushkitTable& pushkit) {
    Terminal t = startTerminal();
    ::setenv("COM1", t.device.c_str(), 1);
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    const std::int32_t result = pushkit.Download(image.c_str(), 1, kBaud, 8, 0, 0, 0);
    Run r;
    r.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    r.cpuMs = 1000 * (seconds(after.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_utime) -
                      seconds(before.ru_stime));
    r.ok = result == 14;
    stopTerminal(t);
    return r;
}

// formwell-cli as its own process; its CPU time includes the children it waited for (the station's).
// ports 0: a plain load on COM1; otherwise the station with --ports 1,...,ports.
Run loadThroughCli(const fs::path& dir, const std::string& image, int ports) {
    std::vector<Terminal> terminals;
    std::string list;
    for (int p = 1; p <= std::max(ports, 1); ++p) {
        terminals.push_back(startTerminal());
        ::setenv(("COM" + std::to_string(p)).c_str(), terminals.back().device.c_str(), 1);
        list += (p > 1 ? "," : "") + std::to_string(p);
    }
    std::vector<std::string> args{FORMWELL_CLI_PATH, "--dir", dir.string(), "--yes", "load", image};
    if (ports > 0) {
        args.insert(args.end(), {"--ports", list});
    }
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = -1;
    Run r;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        r.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        r.cpuMs = 1000 * (seconds(usage.ru_utime) + seconds(usage.ru_stime));
        r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (Terminal& t : terminals) {
        stopTerminal(t);
    }
    return r;
}

void report(const char* what, const Run& r, double floorMs) {
    std::printf("%-28s %s  %8.0f ms   over the floor %.3f   CPU/wall %.2f %%\n", what,
                r.ok ? "ok    " : "FAILED", r.wallMs, r.wallMs / floorMs, 100.0 * r.cpuMs / r.wallMs);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t kib = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 128;
    const fs::path dir = fs::temp_directory_path() / "formwell_load_bench";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const Image image = makeImage(kib);
    const std::string imagePath = (dir / "bench.s2").string();
    std::ofstream(imagePath, std::ios::binary) << image.text;
    std::ofstream(dir / "mbx.dat", std::ios::binary) << "Com1:19200 8N10";
    const double floorMs = framedFloorMs(image);
    std::printf("%zu KiB in %zu records, framed protocol at %d baud: floor %.0f ms\n", kib, image.records,
                kBaud, floorMs);

    const formwell::link::PushkitTable pushkit = formwell::link::bindPushkit();
    const Run library = loadInProcess(imagePath, pushkit);
    report("library, in this process", library, floorMs);
    const Run cli = loadThroughCli(dir, imagePath, 0);
    report("formwell-cli load", cli, floorMs);
    std::printf("formwell-cli over the library: %.3f\n", cli.wallMs / library.wallMs);

    const Run one = loadThroughCli(dir, imagePath, 1);
    report("station, 1 cradle", one, floorMs);
    const Run four = loadThroughCli(dir, imagePath, 4);
    report("station, 4 cradles at once", four, floorMs);
    std::printf("4 cradles over 1: %.3f (1.000 is perfect scaling)\n", four.wallMs / one.wallMs);
    fs::remove_all(dir);
    return library.ok && cli.ok && one.ok && four.ok ? 0 : 1;
}
