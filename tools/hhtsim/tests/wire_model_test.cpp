// --baud-throttle's wire and --latency-timer's adapter on a virtual clock: what the terminal sees
// and sends, and when.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hhtsim/adapter_line.h"
#include "hhtsim/event_log.h"
#include "hhtsim/line.h"
#include "hhtsim/options.h"
#include "hhtsim/terminal.h"

namespace hhtsim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// Bytes reach the device when the test says; every pause ends `lateWake` late, as on a busy machine.
class VirtualLine : public Line {
  public:
    struct Arrival {
        WireClock::time_point at;
        std::uint8_t byte;
    };
    std::deque<Arrival> incoming;
    std::vector<WireClock::time_point> writtenAt;
    std::optional<CharacterFormat> format;
    nanoseconds lateWake{0};
    WireClock::time_point clock = start();

    static WireClock::time_point start() { return WireClock::time_point{} + std::chrono::hours(1); }

    ReadResult read(std::optional<std::chrono::milliseconds> timeout) override {
        if (incoming.empty()) {
            clock += timeout.value_or(std::chrono::milliseconds(0));
            return {ReadStatus::Timeout};
        }
        const Arrival next = incoming.front();
        incoming.pop_front();
        clock = std::max(clock, next.at);
        return {ReadStatus::Byte, next.byte, next.at};
    }
    bool write(std::span<const std::uint8_t> bytes) override {
        writtenAt.insert(writtenAt.end(), bytes.size(), clock);
        return true;
    }
    bool pause(nanoseconds duration) override {
        clock += duration + lateWake;
        return true;
    }
    bool sleepUntil(WireClock::time_point until) override {
        clock = std::max(clock, until) + lateWake;
        return true;
    }
    void hangUp() override {}
    std::optional<CharacterFormat> hostFormat() const override { return format; }
    WireClock::time_point now() const override { return clock; }
};

Misbehaviour throttled() {
    Misbehaviour m;
    m.baudThrottle = true;
    return m;
}

// 9600 baud, 7 data bits, even parity, 2 stop bits: 11 bits, 1145833 ns.
TEST(HhtsimWireModel, EachCharacterTakesItsBitsTimeBothWaysTheFirstOfAnAnswerIncluded) {
    VirtualLine line;
    line.format = CharacterFormat{9600, 7, WireParity::Even, 2};
    const nanoseconds c(1145833);
    const auto t0 = VirtualLine::start();
    // A burst the host wrote at once, then a byte long after the wire fell quiet.
    line.incoming = {{t0, 'a'}, {t0, 'b'}, {t0, 'c'}, {t0 + 10 * c, 'd'}};
    EventLog log;
    const Misbehaviour m = throttled();
    Terminal terminal(line, log, m);
    for (const auto seen : {t0 + c, t0 + 2 * c, t0 + 3 * c, t0 + 11 * c}) {
        ASSERT_EQ(terminal.read(std::nullopt).status, ReadStatus::Byte);
        EXPECT_EQ(line.now(), seen);
    }
    // The answer is ready when the byte it answers was whole, however long this program took over it.
    line.clock += c / 2;
    ASSERT_TRUE(terminal.send(Bytes{0x06, 0x06}, "ACK"));
    EXPECT_EQ(line.writtenAt, (std::vector<WireClock::time_point>{t0 + 12 * c, t0 + 13 * c}));
}

TEST(HhtsimWireModel, LateWakeUpsDoNotAddUpOverALongAnswer) {
    VirtualLine line;
    line.format = CharacterFormat{115200, 8, WireParity::None, 1};
    line.lateWake = microseconds(30);
    const nanoseconds c(86806);
    EventLog log;
    const Misbehaviour m = throttled();
    Terminal terminal(line, log, m);
    const auto ready = line.now();
    ASSERT_TRUE(terminal.send(Bytes(1000, 0x55), "LONG"));
    ASSERT_EQ(line.writtenAt.size(), 1000u);
    EXPECT_EQ(line.writtenAt.back(), ready + 1000 * c + microseconds(30));
}

TEST(HhtsimWireModel, BaudAndFormatSwitchesOverrideTheDevice) {
    VirtualLine line;
    line.format = CharacterFormat{19200, 8, WireParity::None, 1};
    line.incoming = {{VirtualLine::start(), 'x'}};
    Misbehaviour m = throttled();
    m.baud = 2400;
    m.format = parseCharacterFormat("7O1", 0);
    EventLog log;
    Terminal terminal(line, log, m);
    ASSERT_EQ(terminal.read(std::nullopt).status, ReadStatus::Byte);
    // 7O1 is 10 bits; at 2400 baud, 4166667 ns.
    EXPECT_EQ((line.now() - VirtualLine::start()).count(), 4166667);

    for (const char* bad : {"9N1", "8X1", "8N3", "8N", "8n1"}) {
        EXPECT_FALSE(parseCharacterFormat(bad, 9600)) << bad;
    }
    EXPECT_TRUE(std::holds_alternative<UsageError>(parseOptions({"--format", "8N0"})));
    const std::string help = helpText();
    for (const char* option : {"--format", "--wire-log"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(HhtsimWireModel, AnAdapterHoldsBytesUntilItsTimerRunsOutOrAPacketIsFull) {
    const auto t0 = VirtualLine::start();
    LatencyTimer timer(milliseconds(16));
    EXPECT_TRUE(timer.hold(Bytes{0x06}, t0).empty());
    EXPECT_TRUE(timer.hold(Bytes(60, 'a'), t0 + milliseconds(5)).empty());
    EXPECT_EQ(timer.due(), t0 + milliseconds(16));
    // The 62nd byte sends the packet; the one after it waits on a timer of its own.
    EXPECT_EQ(timer.hold(Bytes{'b', 'c'}, t0 + milliseconds(6)).size(), LatencyTimer::kPacketBytes);
    EXPECT_EQ(timer.due(), t0 + milliseconds(22));
    EXPECT_EQ(timer.release(), Bytes{'c'});
    EXPECT_FALSE(timer.due());

    // The terminal's answer reaches the host while the terminal waits for the next frame.
    VirtualLine line;
    AdapterLine adapter(line, milliseconds(16));
    EventLog log;
    const Misbehaviour m;
    Terminal terminal(adapter, log, m);
    ASSERT_TRUE(terminal.send(Bytes{0x06}, "ACK"));
    EXPECT_TRUE(line.writtenAt.empty());
    EXPECT_EQ(terminal.read(milliseconds(100)).status, ReadStatus::Timeout);
    EXPECT_EQ(line.writtenAt, std::vector<WireClock::time_point>{t0 + milliseconds(16)});
    EXPECT_EQ(line.now(), t0 + milliseconds(100));
}

// The wire log names every message with its bytes: the host's since the last message the terminal
// recognised (stray bytes on a line of their own), and each answer.
TEST(HhtsimWireModel, WireLogCountsTheBytesOfEveryMessage) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("hhtsim-wire-log-" + std::to_string(::getpid()));
    {
        VirtualLine line;
        const auto t0 = VirtualLine::start();
        for (const std::uint8_t b : Bytes{0x13, 0x13, 0x01, 0x02, 'a', 0x03, 0x60}) {
            line.incoming.push_back({t0, b});
        }
        EventLog log;
        std::string error;
        ASSERT_TRUE(log.openWire(path.string(), error)) << error;
        const Misbehaviour m = throttled();
        Terminal terminal(line, log, m);
        for (int i = 0; i < 2; ++i) {
            log.stray(terminal.read(std::nullopt).byte);
        }
        terminal.read(std::nullopt);
        log.rx("SOH");
        ASSERT_TRUE(terminal.send(Bytes{0x06}, "ACK"));
        for (int i = 0; i < 4; ++i) {
            terminal.read(std::nullopt);
        }
        log.rx("FRAME");
    }
    std::ifstream in(path);
    std::vector<std::string> events;
    for (std::string line; std::getline(in, line);) {
        events.push_back(line.substr(line.find(' ') + 1));
    }
    std::filesystem::remove(path);
    EXPECT_EQ(events, (std::vector<std::string>{"rx 2 STRAY", "rx 1 SOH", "tx 1 ACK", "rx 4 FRAME"}));
}

}  // namespace
}  // namespace hhtsim
