// The image pre-scan as a whole process, against the general S-record tools doing comparable work on
// the same file: each reads every record, checks it, and produces output (our loader its frames or
// hex-block lines, srec_cat and objcopy the binary). All are timed the same way, as whole processes
// start to finish, best of n, so start-up and output count alike for everyone.
//
//   build/bin/bench_image [runs]      (default 15)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// 512 KiB of program: the whole erase window of a kind-103 terminal, in records of 32 bytes.
constexpr std::size_t kRecords = 16384;
constexpr std::size_t kRecordBytes = 32;
constexpr std::uint32_t kBase = 0x200000;

std::string s2Record(std::size_t r) {
    const std::uint32_t address = kBase + static_cast<std::uint32_t>(r * kRecordBytes);
    char field[8];
    std::string line;
    unsigned sum = static_cast<unsigned>(kRecordBytes + 4) + (address >> 16) + ((address >> 8) & 0xFF) +
                   (address & 0xFF);
    std::snprintf(field, sizeof field, "S2%02X", static_cast<unsigned>(kRecordBytes + 4));
    line += field;
    std::snprintf(field, sizeof field, "%06X", address);
    line += field;
    for (std::size_t i = 0; i < kRecordBytes; ++i) {
        const unsigned byte = static_cast<unsigned>((r * 7 + i * 13) & 0xFF);
        sum += byte;
        std::snprintf(field, sizeof field, "%02X", byte);
        line += field;
    }
    std::snprintf(field, sizeof field, "%02X", ~sum & 0xFFu);
    return line + field + "\r\n";
}

// The records in address order, or last to first.
std::string makeImage(bool descending) {
    std::string image = "S00600004844521B\r\n";
    for (std::size_t i = 0; i < kRecords; ++i) {
        image += s2Record(descending ? kRecords - 1 - i : i);
    }
    return image + "S804200000DB\r\n";
}

// Wall time of one whole process, in milliseconds; negative when it failed.
double runOnce(const std::vector<std::string>& args) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& arg : copy) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Timing {
    double best = 1e300;
    double median = 0;
    bool ran = true;
};

// Every command once per round, round after round, so a busy spell of the machine hits all alike.
std::vector<Timing> timeAll(const std::vector<std::vector<std::string>>& commands, int runs) {
    std::vector<std::vector<double>> samples(commands.size());
    std::vector<Timing> timings(commands.size());
    for (int round = 0; round < runs; ++round) {
        for (std::size_t c = 0; c < commands.size(); ++c) {
            const double ms = timings[c].ran ? runOnce(commands[c]) : -1;
            timings[c].ran = ms >= 0;
            samples[c].push_back(ms);
        }
    }
    for (std::size_t c = 0; c < commands.size(); ++c) {
        std::sort(samples[c].begin(), samples[c].end());
        timings[c].best = samples[c].front();
        timings[c].median = samples[c][samples[c].size() / 2];
    }
    return timings;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const fs::path dir = fs::temp_directory_path() / ("formwell-image-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string ascending = (dir / "ascending.s2").string();
    const std::string descending = (dir / "descending.s2").string();
    std::ofstream(ascending, std::ios::binary) << makeImage(false);
    std::ofstream(descending, std::ios::binary) << makeImage(true);
    const std::string out = (dir / "out").string();

    struct Named {
        const char* name;
        std::vector<std::string> command;
    };
    const std::vector<Named> commands = {
        {"pushkit framed scan + frames", {BENCH_IMAGE_SCAN_PATH, "framed", ascending, out}},
        {"pushkit hex-block list + lines", {BENCH_IMAGE_SCAN_PATH, "hex-block", ascending, out}},
        {"  same, records descending", {BENCH_IMAGE_SCAN_PATH, "hex-block", descending, out}},
        {"objcopy -I srec -O binary", {"objcopy", "-I", "srec", "-O", "binary", ascending, out}},
        {"  same, records descending", {"objcopy", "-I", "srec", "-O", "binary", descending, out}},
        {"srec_cat -o -binary", {"srec_cat", ascending, "-o", out, "-binary"}},
        {"empty process (/bin/true)", {"true"}},
    };
    std::vector<std::vector<std::string>> lines;
    for (const Named& n : commands) {
        lines.push_back(n.command);
    }
    const std::vector<Timing> timings = timeAll(lines, runs);
    fs::remove_all(dir);

    std::printf("image: %zu S2 records of %zu bytes (%zu KiB of program), %zu bytes of text\n", kRecords,
                kRecordBytes, kRecords * kRecordBytes / 1024, makeImage(false).size());
    std::printf("whole processes, best and median of %d runs:\n", runs);
    for (std::size_t c = 0; c < commands.size(); ++c) {
        if (!timings[c].ran) {
            std::printf("  %-34s did not run\n", commands[c].name);
        } else {
            std::printf("  %-34s %8.2f ms  %8.2f ms\n", commands[c].name, timings[c].best, timings[c].median);
        }
    }
    const auto ratio = [&](std::size_t a, std::size_t b) {
        return timings[a].ran && timings[b].ran ? timings[a].best / timings[b].best : -1.0;
    };
    std::printf("ratio framed scan / objcopy:            %.3f (goal: below 1)\n", ratio(0, 3));
    std::printf("ratio hex-block list / objcopy:         %.3f\n", ratio(1, 3));
    std::printf("ratio hex-block descending / ascending: %.3f\n", ratio(2, 1));
    std::printf("ratio framed scan / srec_cat:           %.3f\n", ratio(0, 5));
    const bool allRan = std::all_of(timings.begin(), timings.end(), [](const Timing& t) { return t.ran; });
    return allRan ? 0 : 1;
}
