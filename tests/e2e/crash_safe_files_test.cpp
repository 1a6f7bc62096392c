// A program killed outright (SIGKILL: no handler runs, no buffer is flushed) while it saves a field
// document or mbx.dat, or while it receives import.txt, must leave every file either as it was or
// whole in its new form. A document that must be rewritten in place (here: one with a second name)
// may be caught half-written; then its old content is whole in the copy kept beside it. The kills land at
// moments spread evenly over the work; FORMWELL_KILL_POINTS sets how many (a few dozen by default, hundreds
// for a long run).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "e2e_support.h"

extern char** environ;

namespace e2e {
namespace {

namespace fs = std::filesystem;
using std::chrono::microseconds;

int killPoints(int byDefault) {
    const char* text = std::getenv("FORMWELL_KILL_POINTS");
    const int asked = text != nullptr ? std::atoi(text) : 0;
    return asked > 0 ? asked : byDefault;
}

// Point i of n, spread over [0, spread) in an order that jumps about, so that neighbouring kills do
// not meet a machine in the same state.
microseconds killDelay(int i, int n, microseconds spread) {
    const long step = static_cast<long>((static_cast<long long>(i) * 7919) % n);
    return microseconds(spread.count() * step / n);
}

// The save loop with its standard output on a pipe (`progress`, when asked for).
pid_t startSaveLoop(const std::string& kind, const fs::path& path, const std::string& mode,
                    int* progress = nullptr) {
    std::vector<std::string> args{SAVE_LOOP_PATH, kind, path.string(), mode};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int out[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (progress != nullptr && ::pipe2(out, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    }
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << args[0];
    }
    posix_spawn_file_actions_destroy(&actions);
    if (out[1] >= 0) {
        ::close(out[1]);
        *progress = out[0];
    }
    return pid;
}

// Everything the loop wrote, once it is gone: "s" and a "." per whole save.
std::string drain(int fd) {
    std::string text;
    char chunk[256];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

bool started(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    char first = 0;
    return ::poll(&pfd, 1, static_cast<int>(kChildBound.count() * 1000)) == 1 && ::read(fd, &first, 1) == 1 &&
           first == 's';
}

int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

std::string savedVersion(const TempDir& dir, const std::string& kind, const std::string& version) {
    const fs::path path = dir / (kind + "-" + version);
    const int status = waitFor(startSaveLoop(kind, path, version));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return readFile(path);
}

// The copies an in-place save keeps of the old content beside `target` until it is done.
std::vector<fs::path> asideCopies(const fs::path& target) {
    std::vector<fs::path> found;
    const std::string prefix = "." + target.filename().string() + ".old-";
    for (const auto& entry : fs::directory_iterator(target.parent_path())) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            found.push_back(entry.path());
        }
    }
    return found;
}

std::size_t entriesIn(const fs::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

class KilledWhileSaving : public ::testing::TestWithParam<const char*> {};

TEST_P(KilledWhileSaving, LeavesTheOldFileOrTheNewOneWhole) {
    const std::string param = GetParam();
    const bool inPlace = param == "ini-in-place";
    const std::string kind = inPlace ? "ini" : param;
    TempDir dir;
    const std::string before = savedVersion(dir, kind, "a");
    const std::string after = savedVersion(dir, kind, "b");
    ASSERT_NE(before, after);
    const fs::path folder = dir / "saves";
    fs::create_directories(folder);
    const fs::path target = folder / (kind == "ini" ? "fields.ini" : "mbx.dat");
    const fs::path otherName = folder / "other-name.ini";
    if (inPlace) {
        writeFile(target, before);
        fs::create_hard_link(target, otherName);
    }

    const int points = killPoints(60);
    int old = 0, replaced = 0, afterASave = 0, halfWritten = 0, withCopy = 0;
    for (int i = 0; i < points; ++i) {
        writeFile(target, before);  // in place: both names keep the one file
        int progress = -1;
        const pid_t pid = startSaveLoop(kind, target, "loop", &progress);
        ASSERT_TRUE(started(progress)) << "the save loop did not start";
        // Each save waits for the disk (fsync): some tens of milliseconds for a document of this size.
        std::this_thread::sleep_for(killDelay(i, points, microseconds(kind == "ini" ? 400000 : 200000)));
        ::kill(pid, SIGKILL);
        const int status = waitFor(pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the save loop ended on its own at point " << i;
        afterASave += drain(progress).find('.') != std::string::npos ? 1 : 0;
        const std::string left = readFile(target);
        if (inPlace) {
            ASSERT_EQ(readFile(otherName), left) << "point " << i << ": the two names part";
            const std::vector<fs::path> asides = asideCopies(target);
            withCopy += asides.empty() ? 0 : 1;
            if (left != before && left != after) {
                ASSERT_EQ(asides.size(), 1u)
                    << "point " << i << ": half written, and no copy of the old content";
                const std::string kept = readFile(asides.front());
                ASSERT_TRUE(kept == before || kept == after) << "point " << i << ": the copy is not whole";
                ++halfWritten;
            }
            for (const fs::path& aside : asides) {
                fs::remove(aside);
            }
            if (left != before && left != after) {
                continue;
            }
        }
        ASSERT_TRUE(left == before || left == after) << "point " << i << ": " << left.size() << " bytes";
        (left == before ? old : replaced) += 1;
    }
    const std::size_t leftovers = entriesIn(folder) - (inPlace ? 2 : 1);
    std::printf(
        "%s: %d kills, %d after at least one whole save; %d left one version whole, %d the other, %d "
        "half written with the old content beside it (a copy beside it %d times); %zu file(s) left\n",
        param.c_str(), points, afterASave, old, replaced, halfWritten, withCopy, leftovers);
    // Most kills must have met the program amid its saves, or this proves little.
    EXPECT_GT(afterASave, points / 4);
}

INSTANTIATE_TEST_SUITE_P(Files, KilledWhileSaving, ::testing::Values("ini", "mbx", "ini-in-place"));

// import.txt (and its backup) hold whole records, in the order sent, however early the receive died.
::testing::AssertionResult wholeRecords(const std::string& text, const std::vector<std::string>& records,
                                        std::size_t& count) {
    std::size_t at = 0;
    for (count = 0; at < text.size(); ++count) {
        if (count == records.size()) {
            return ::testing::AssertionFailure() << "more lines than records";
        }
        const std::string line = records[count] + "\r\n";
        if (text.compare(at, line.size(), line) != 0) {
            return ::testing::AssertionFailure()
                   << "record " << count + 1 << " is not whole: " << text.substr(at);
        }
        at += line.size();
    }
    return ::testing::AssertionSuccess();
}

// How many records the terminal saw acknowledged in its last session, from its own record.
std::size_t acknowledgedInLastSession(const fs::path& record) {
    std::size_t acked = 0;
    std::istringstream lines(readFile(record));
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" SESSION ") != std::string::npos) {
            acked = 0;
        } else if (line.find(" ACKED ") != std::string::npos) {
            ++acked;
        }
    }
    return acked;
}

TEST(KilledWhileReceiving, ImportTxtHoldsWholeRecordsOnlyAndEveryAcknowledgedOne) {
    TempDir dir;
    writeFile(dir / "mbx.dat", "Com6:19200 8N10");
    std::vector<std::string> records;
    std::string recordsFile;
    for (int i = 0; i < 40; ++i) {
        records.push_back("REC" + std::to_string(i) + ";" +
                          std::string(static_cast<std::size_t>(i % 17), '*'));
        recordsFile += records.back() + "\n";
    }
    writeFile(dir / "records.txt", recordsFile);
    SimTerminal terminal(dir,
                         {"--role", "data-sender", "--records", (dir / "records.txt").string(), "--record",
                          (dir / "terminal-record.txt").string()},
                         false);
    ScopedPortVariable port(6, terminal.device());

    // A whole receive of these records takes about 2.5 s: the handshake, then a frame, its ACK and
    // the 50 ms pause after it per record.
    const int points = killPoints(12);
    std::size_t most = 0;
    int midway = 0;
    for (int i = 0; i < points; ++i) {
        CliProcess cli({"--dir", (dir / "").string(), "--yes", "receive"});
        std::this_thread::sleep_for(killDelay(i, points, microseconds(2500000)));
        ::kill(cli.pid(), SIGKILL);
        cli.finish();
        std::size_t count = 0, backup = 0;
        ASSERT_TRUE(wholeRecords(readFile(dir / "import.txt"), records, count)) << "point " << i;
        ASSERT_TRUE(wholeRecords(readFile(dir / "import.txt.bak"), records, backup)) << "point " << i;
        // The terminal has forgotten what it saw acknowledged: all of it must be in import.txt.
        ASSERT_GE(count, acknowledgedInLastSession(dir / "terminal-record.txt")) << "point " << i;
        most = std::max(most, count);
        midway += count > 0 && count < records.size() ? 1 : 0;
    }
    std::printf("receive: %d kills, %d of them with part of the records in, at most %zu of %zu\n", points,
                midway, most, records.size());
    EXPECT_GT(midway, 0);
    // The port was released with the process: the next receive brings everything.
    CliProcess cli({"--dir", (dir / "").string(), "--yes", "receive"});
    EXPECT_EQ(cli.finish(), 0) << cli.err;
    std::size_t count = 0;
    EXPECT_TRUE(wholeRecords(readFile(dir / "import.txt"), records, count));
    EXPECT_EQ(count, records.size());
}

}  // namespace
}  // namespace e2e
