#include "runs.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "images.h"
#include "processes.h"
#include "pushkit.h"

namespace bench {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 7;
constexpr int kBitsPerCharacter = 10;  // 8N1
constexpr std::chrono::milliseconds kStartBound{10000};
constexpr std::chrono::milliseconds kEndBound{30000};
constexpr std::chrono::milliseconds kLinkBound{600000};
constexpr int kLinkPort = 1;
constexpr std::size_t kDataRecordLength = 40;

std::size_t countHandOvers(const std::vector<WireMessage>& messages) {
    std::size_t turns = 0;
    for (std::size_t i = 1; i < messages.size(); ++i) {
        turns += messages[i].fromHost != messages[i - 1].fromHost ? 1 : 0;
    }
    return turns;
}

Measured runLoad(const Row& row, const fs::path& dir, const std::vector<std::string>& adapter) {
    Measured m;
    BenchImage image;
    std::string file;
    std::vector<std::string> args{HHTSIM_PATH,       "--once",
                                  "--baud-throttle", "--punctual",
                                  "--wire-log",      (dir / "wire").string(),
                                  "--flash-out",     (dir / "flash.s2").string(),
                                  "--log",           (dir / "terminal.log").string()};
    int expected = PUSHKIT_SRECORD_LOADED;
    switch (row.protocol) {
        case Protocol::Framed:
            image = framedImage(row.dataBytes);
            file = "program.s2";
            args.insert(args.end(), {"--role", "loader"});
            break;
        case Protocol::HexBlock:
            image = hexBlockImage(row.dataBytes);
            file = "program.s2";
            args.insert(args.end(), {"--role", "rmt-loader"});
            break;
        case Protocol::Line:
            image = lineImage(row.dataBytes);
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

    args.insert(args.end(), adapter.begin(), adapter.end());
    Child terminal(args, true);
    const std::string device = terminal.firstLine(kStartBound);
    if (device.empty()) {
        m.failure = "the simulated terminal did not start";
        return m;
    }
    ::setenv(("COM" + std::to_string(kPort)).c_str(), device.c_str(), 1);

    const double cpuBefore = processCpuSeconds();
    const auto start = Clock::now();
    const int result = Download((dir / file).c_str(), kPort, row.baud, 8, 0, 0, 0);
    m.elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    m.cpu = processCpuSeconds() - cpuBefore;

    const Child::Exit exit = terminal.wait(kEndBound);
    ByteMap flash;
    std::string difference;
    if (result != expected) {
        m.failure = "Download returned " + std::to_string(result);
    } else if (exit.status != 0) {
        m.failure = "the terminal did not complete the load (exit " + std::to_string(exit.status) + ")";
    } else if (!readFlashDump(dir / "flash.s2", flash) || !holdsEvery(flash, image.bytes, difference)) {
        m.failure = "the terminal's flash differs from the image: " + difference;
    }

    std::vector<WireMessage> messages;
    std::string problem;
    if (!readWireLog(dir / "wire", messages, problem)) {
        m.failure += problem;
        return m;
    }
    m.handOvers = countHandOvers(messages);
    const double c = static_cast<double>(kBitsPerCharacter) / row.baud;
    switch (row.protocol) {
        case Protocol::Framed:
            m.floor = framedFloor(messages, c);
            break;
        case Protocol::HexBlock:
            m.floor = hexBlockFloor(messages, c);
            break;
        case Protocol::Line:
            m.floor = lineProtocolFloor(messages, c);
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
Measured runLink(const Row& row, const fs::path& dir, const std::vector<std::string>& adapter) {
    Measured m;
    const int count = static_cast<int>(row.dataBytes);
    const std::string ini = iniFile(count);
    const std::string records = dataRecords(count, kDataRecordLength);
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
    args.insert(args.end(), adapter.begin(), adapter.end());
    Child terminal(args, true);
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
    Child program(cli, false, (dir / "formwell-cli.out").string());
    const Child::Exit done = program.wait(kLinkBound);
    m.elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    m.cpu = done.cpuSeconds;
    const Child::Exit exit = terminal.wait(kEndBound);

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
    if (!readWireLog(dir / "wire", messages, problem)) {
        m.failure += problem;
        return m;
    }
    m.handOvers = countHandOvers(messages);
    const double c = static_cast<double>(kBitsPerCharacter) / row.baud;
    m.floor = sending ? iniSendFloor(messages, c) : dataReceiveFloor(messages, c);
    return m;
}

}  // namespace

Measured runTransfer(const Row& row, const fs::path& dir, std::chrono::milliseconds latencyTimer) {
    std::vector<std::string> adapter;
    if (latencyTimer.count() > 0) {
        adapter = {"--latency-timer", std::to_string(latencyTimer.count())};
    }
    return isLinkTransfer(row.protocol) ? runLink(row, dir, adapter) : runLoad(row, dir, adapter);
}

}  // namespace bench
