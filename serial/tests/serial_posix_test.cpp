#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "low_latency_posix.h"
#include "serial/serial_device.h"
#include "serial/testing/pty_pair.h"
#include "termios_settings.h"

namespace serial {
namespace {

using std::chrono::milliseconds;
using testing::PtyPair;
using testing::ScopedEnv;
using Clock = std::chrono::steady_clock;

constexpr LineConfig k8N1{19200, 8, Parity::None, StopBits::One};
// Generous upper bounds for time-outs that must end a call; only ever hit when something hangs.
constexpr milliseconds kWayTooLong{3000};

milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

TEST(DevicePathForPort, ComVariableOrDefaultDevice) {
    ScopedEnv com1("COM1", std::nullopt);
    ScopedEnv com3("COM3", std::string("/dev/pts/77"));
    ScopedEnv com4("COM4", std::string(""));
    ScopedEnv com0("COM0", std::nullopt);

    EXPECT_EQ(devicePathForPort(1), "/dev/ttyS0");
    EXPECT_EQ(devicePathForPort(3), "/dev/pts/77");
    EXPECT_EQ(devicePathForPort(4), "/dev/ttyS3");  // an empty variable names nothing
    EXPECT_EQ(devicePathForPort(12), "/dev/ttyS11");
    EXPECT_EQ(devicePathForPort(256 + 3), "/dev/pts/77");  // only the low byte counts
    EXPECT_EQ(devicePathForPort(0), std::nullopt);
    {
        ScopedEnv named("COM0", std::string("/dev/pts/5"));
        EXPECT_EQ(devicePathForPort(0), "/dev/pts/5");
    }
}

TEST(SerialDeviceOpen, FailuresCarryTheirReason) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("serial_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string plainFile = (dir / "not_a_port").string();
    std::ofstream(plainFile) << "x";

    struct Case {
        const char* device;
        ErrorKind expected;
    };
    const Case cases[] = {
        {"/nonexistent/ttyUSB9", ErrorKind::NoSuchDevice},
        {"/dev/null", ErrorKind::NotSerialDevice},
        {plainFile.c_str(), ErrorKind::NotSerialDevice},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        ScopedEnv env("COM9", std::string(c.device));
        SerialDevice device;
        const Error error = device.open(9, k8N1);
        EXPECT_EQ(error.kind, c.expected) << error.text;
        EXPECT_NE(error.text.find(c.device), std::string::npos) << error.text;
        EXPECT_FALSE(device.isOpen());
    }
    {
        ScopedEnv env("COM0", std::nullopt);
        SerialDevice device;
        const Error error = device.open(0, k8N1);
        EXPECT_EQ(error.kind, ErrorKind::NoSuchDevice);
        EXPECT_NE(error.text.find("COM0"), std::string::npos) << error.text;
    }
    std::filesystem::remove_all(dir);
}

TEST(SerialDeviceOpen, RefusesSettingsThePortCannotTake) {
    PtyPair pty;
    const LineConfig bad[] = {
        {12345, 8, Parity::None, StopBits::One},           {0, 8, Parity::None, StopBits::One},
        {19200, 4, Parity::None, StopBits::One},           {19200, 9, Parity::None, StopBits::One},
        {19200, 8, static_cast<Parity>(5), StopBits::One}, {19200, 8, Parity::None, static_cast<StopBits>(3)},
    };
    for (const LineConfig& config : bad) {
        SCOPED_TRACE(config.baud);
        SerialDevice device;
        EXPECT_EQ(device.openPath(pty.slavePath(), config).kind, ErrorKind::InvalidSetting);
        EXPECT_FALSE(device.isOpen());
    }

    // On an open port a refused change keeps the settings in force.
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    EXPECT_EQ(device.setBaud(31250).kind, ErrorKind::InvalidSetting);
    EXPECT_EQ(device.lineConfig().baud, 19200u);
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), B19200);
}

TEST(SerialDeviceOpen, SecondOpenerIsRefusedUntilTheFirstCloses) {
    PtyPair pty;
    ScopedEnv env("COM5", pty.slavePath());
    SerialDevice first;
    ASSERT_TRUE(first.open(5, k8N1).ok());

    SerialDevice second;
    const Error busy = second.open(5, k8N1);
    EXPECT_EQ(busy.kind, ErrorKind::InUse) << busy.text;
    EXPECT_FALSE(second.isOpen());

    // Moving keeps the one open port; the moved-from device holds nothing.
    SerialDevice moved(std::move(first));
    EXPECT_FALSE(first.isOpen());
    EXPECT_EQ(second.open(5, k8N1).kind, ErrorKind::InUse);

    moved.close();
    EXPECT_TRUE(second.open(5, k8N1).ok());
    {
        SerialDevice scoped;
        EXPECT_EQ(scoped.open(5, k8N1).kind, ErrorKind::InUse);
    }
    second = SerialDevice();  // assignment releases the port too
    SerialDevice third;
    EXPECT_TRUE(third.open(5, k8N1).ok());
}

TEST(SerialDeviceConfig, TermiosFollowsTheLineSettings) {
    struct Case {
        LineConfig config;
        speed_t speed;
        tcflag_t size;
        tcflag_t parityBits;
        bool twoStopBits;
    };
    const Case cases[] = {
        {{2400, 8, Parity::None, StopBits::One}, B2400, CS8, 0, false},
        {{9600, 7, Parity::Even, StopBits::One}, B9600, CS7, PARENB, false},
        {{19200, 7, Parity::Odd, StopBits::Two}, B19200, CS7, PARENB | PARODD, true},
        {{57600, 6, Parity::Mark, StopBits::OneAndHalf}, B57600, CS6, PARENB | PARODD | CMSPAR, true},
        {{115200, 5, Parity::Space, StopBits::One}, B115200, CS5, PARENB | CMSPAR, false},
    };
    // Start from a cooked line with flow control and parity checking on: all of it must go.
    termios cooked{};
    cooked.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP;
    cooked.c_oflag = OPOST | ONLCR;
    cooked.c_cflag = CS7 | PARENB | CRTSCTS | CSTOPB;
    cooked.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config.baud);
        const std::optional<termios> made = detail::makeTermios(cooked, c.config);
        ASSERT_TRUE(made.has_value());
        const termios& tio = *made;
        EXPECT_EQ(::cfgetospeed(&tio), c.speed);
        EXPECT_EQ(::cfgetispeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityBits);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 1);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
    }
    EXPECT_FALSE(detail::makeTermios(cooked, LineConfig{31250, 8, Parity::None, StopBits::One}).has_value());
}

// What the port reports back after a write, against what was asked: only a pseudo-terminal may show
// another character format, since it has none on a wire.
TEST(SerialDeviceConfig, OnlyAPtyMayShowOtherDataBitsOrParity) {
    termios raw{};
    ::cfmakeraw(&raw);
    const std::optional<termios> asked =
        detail::makeTermios(raw, LineConfig{9600, 7, Parity::Mark, StopBits::Two});
    ASSERT_TRUE(asked.has_value());
    using Change = void (*)(termios&);
    struct Case {
        const char* what;
        Change change;
        bool takenBySerialPort;
        bool takenByPty;
    };
    const Case cases[] = {
        {"as asked", [](termios&) {}, true, true},
        {"parity flag dropped", [](termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(PARENB); }, false, true},
        {"mark became odd", [](termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR); }, false, true},
        {"8 data bits forced",
         [](termios& t) { t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS8; }, false, true},
        {"another speed", [](termios& t) { ::cfsetospeed(&t, B19200); }, false, false},
        {"one stop bit", [](termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB); }, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        termios actual = *asked;
        c.change(actual);
        EXPECT_EQ(detail::settingsNotTaken(*asked, actual, detail::LineKind::SerialPort).empty(),
                  c.takenBySerialPort);
        EXPECT_EQ(detail::settingsNotTaken(*asked, actual, detail::LineKind::PseudoTerminal).empty(),
                  c.takenByPty);
    }
    // No parity asked: the odd flag a pty leaves behind without the parity flag is no parity either.
    const std::optional<termios> none =
        detail::makeTermios(raw, LineConfig{9600, 8, Parity::None, StopBits::One});
    ASSERT_TRUE(none.has_value());
    termios stale = *none;
    stale.c_cflag |= PARODD;
    EXPECT_EQ(detail::settingsNotTaken(*none, stale, detail::LineKind::SerialPort), "");
}

// A pty drops the parity flag, and the next open finds it gone: every open must still succeed.
TEST(SerialDeviceConfig, PtyOpensWithAnyParityOneAfterAnother) {
    PtyPair pty;
    // The same parity twice in a row: the second open changes nothing on the pty, which the C library
    // reports as a failure of its own.
    for (const Parity parity :
         {Parity::Odd, Parity::Odd, Parity::Even, Parity::Even, Parity::Mark, Parity::Space, Parity::Odd}) {
        SCOPED_TRACE(static_cast<int>(parity));
        SerialDevice device;
        const Error opened = device.openPath(pty.slavePath(), LineConfig{19200, 7, parity, StopBits::One});
        EXPECT_TRUE(opened.ok()) << opened.text;
    }
}

TEST(SerialDeviceConfig, SettingsReachTheTty) {
    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), LineConfig{9600, 8, Parity::Even, StopBits::One}).ok());
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), B9600);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON), 0u);

    // A baud change keeps the character format.
    ASSERT_TRUE(device.setBaud(115200).ok());
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), B115200);
    EXPECT_EQ(device.lineConfig().parity, Parity::Even);
    EXPECT_EQ(device.lineConfig().dataBits, 8);
}

TEST(SerialDeviceIo, EveryByteValuePassesUnchangedBothWays) {
    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), std::uint8_t{0});

    const IoResult written = device.write(all.data(), all.size(), milliseconds(1000));
    ASSERT_TRUE(written.ok()) << written.error.text;
    EXPECT_EQ(written.count, all.size());
    EXPECT_EQ(pty.receive(all.size()), all);

    pty.send(all);
    std::vector<std::uint8_t> got(all.size());
    const IoResult read = device.read(got.data(), got.size(), ReadTimeouts{1000, 5000, 0});
    ASSERT_TRUE(read.ok()) << read.error.text;
    EXPECT_EQ(read.count, all.size());
    EXPECT_EQ(got, all);
}

TEST(SerialDeviceIo, ShortReadEndsAtTheIntervalNotTheTotal) {
    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    pty.send({'R', 'M', 'T'});
    std::uint8_t buf[10] = {};
    const auto start = Clock::now();
    const IoResult read = device.read(buf, sizeof(buf), ReadTimeouts{200, 10000, 0});
    EXPECT_LT(since(start), kWayTooLong);
    ASSERT_TRUE(read.ok()) << read.error.text;
    EXPECT_EQ(read.count, 3u);
    EXPECT_EQ(buf[0], 'R');
    EXPECT_EQ(buf[2], 'T');
    EXPECT_EQ(buf[3], 0);
}

TEST(SerialDeviceIo, SilentPeerEndsAtTheTotalWithNothing) {
    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    std::uint8_t byte = 0;
    const auto start = Clock::now();
    const IoResult read = device.read(&byte, 1, ReadTimeouts{100, 40, 10});
    const milliseconds took = since(start);
    EXPECT_TRUE(read.ok()) << read.error.text;
    EXPECT_EQ(read.count, 0u);
    EXPECT_GE(took, milliseconds(50));
    EXPECT_LT(took, kWayTooLong);
}

TEST(SerialDeviceIo, ZeroTotalTakesWhatIsWaitingWithoutWaiting) {
    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    pty.send({'a', 'b', 'c'});
    std::uint8_t buf[8] = {};
    ASSERT_EQ(device.read(buf, 1, ReadTimeouts{0, 2000, 0}).count, 1u);  // the burst has arrived
    const IoResult rest = device.read(buf + 1, sizeof(buf) - 1, ReadTimeouts{100, 0, 0});
    EXPECT_TRUE(rest.ok()) << rest.error.text;
    ASSERT_EQ(rest.count, 2u);
    EXPECT_EQ(buf[2], 'c');

    // Nothing waiting: nothing read, and no wait for the interval either.
    const auto start = Clock::now();
    EXPECT_EQ(device.read(buf, 1, ReadTimeouts{10000, 0, 0}).count, 0u);
    EXPECT_LT(since(start), kWayTooLong);
}

TEST(SerialDeviceIo, PurgeDropsWhatArrivedUnread) {
    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    pty.send({1, 2, 3, 4, 5});
    std::uint8_t byte = 0;
    ASSERT_EQ(device.read(&byte, 1, ReadTimeouts{0, 2000, 0}).count, 1u);
    ASSERT_TRUE(device.flushAndPurge().ok());
    std::uint8_t rest[4] = {};
    EXPECT_EQ(device.read(rest, sizeof(rest), ReadTimeouts{0, 30, 0}).count, 0u);
}

TEST(SerialDeviceIo, WriteToAPortThatStoppedTakingBytesEndsAtItsBound) {
    PtyPair pty;  // nobody reads the master side, so its buffer fills and stays full
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    const std::vector<std::uint8_t> lots(1 << 20, 0x55);
    const auto start = Clock::now();
    const IoResult written = device.write(lots.data(), lots.size(), milliseconds(100));
    const milliseconds took = since(start);
    EXPECT_EQ(written.error.kind, ErrorKind::TimedOut) << written.error.text;
    EXPECT_LT(written.count, lots.size());
    EXPECT_GE(took, milliseconds(100));
    EXPECT_LT(took, kWayTooLong);
}

TEST(SerialDeviceIo, HungUpLineEndsReadsAndWritesAtOnce) {
    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    pty.closeMaster();
    std::uint8_t buf[4] = {};
    const auto start = Clock::now();
    const IoResult read = device.read(buf, sizeof(buf), ReadTimeouts{100, 20000, 0});
    EXPECT_EQ(read.error.kind, ErrorKind::HungUp) << read.error.text;
    EXPECT_EQ(read.count, 0u);
    EXPECT_LT(since(start), kWayTooLong);

    const std::uint8_t byte = 0x10;
    const IoResult written = device.write(&byte, 1, milliseconds(20000));
    EXPECT_FALSE(written.ok());
    EXPECT_LT(since(start), kWayTooLong);
}

// The low-latency flag is asked of the driver with every other flag kept; a driver without the mode
// or one that refuses it leaves the port as usable as any other.
TEST(SerialDeviceOpen, AsksTheDriverForLowLatencyAndTakesNoForAnAnswer) {
    struct Driver {
        int flags = ASYNC_SKIP_TEST;
        bool offers = true;
        bool refuses = false;
        int sets = 0;
        detail::SerialFlagsAccess access() {
            return {[this](int, serial_struct& info) {
                        info.flags = flags;
                        return offers ? 0 : -1;
                    },
                    [this](int, const serial_struct& info) {
                        ++sets;
                        if (!refuses) {
                            flags = info.flags;
                        }
                        return refuses ? -1 : 0;
                    }};
        }
    };
    Driver usb;
    EXPECT_EQ(detail::requestLowLatency(3, usb.access()), detail::LowLatency::TurnedOn);
    EXPECT_EQ(usb.flags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
    EXPECT_EQ(detail::requestLowLatency(3, usb.access()), detail::LowLatency::AlreadyOn);
    EXPECT_EQ(usb.sets, 1);
    Driver stubborn;
    stubborn.refuses = true;
    EXPECT_EQ(detail::requestLowLatency(3, stubborn.access()), detail::LowLatency::Refused);
    EXPECT_EQ(stubborn.flags, ASYNC_SKIP_TEST);

    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    EXPECT_EQ(detail::requestLowLatency(pty.slaveFd()), detail::LowLatency::NotOffered);
    const std::uint8_t byte = 0x06;
    EXPECT_TRUE(device.write(&byte, 1, milliseconds(1000)).ok());
}

// A pty has no modem lines: every line call says so, and CTS reads on, as callers that only drive the
// lines rely on.
TEST(SerialDeviceModemLines, PtyHasNoneAndCtsReadsOn) {
    PtyPair pty;
    SerialDevice device;
    ASSERT_TRUE(device.openPath(pty.slavePath(), k8N1).ok());
    for (const Error& error :
         {device.setDtr(false), device.setDtr(true), device.setRts(false), device.setRts(true)}) {
        EXPECT_EQ(error.kind, ErrorKind::Unsupported) << error.text;
    }
    bool cts = false;
    EXPECT_EQ(device.readCts(cts).kind, ErrorKind::Unsupported);
    EXPECT_TRUE(cts);
}

TEST(SerialDeviceClosed, EveryCallSaysNotOpen) {
    SerialDevice device;
    std::uint8_t byte = 0;
    bool cts = false;
    EXPECT_EQ(device.read(&byte, 1, ReadTimeouts{}).error.kind, ErrorKind::NotOpen);
    EXPECT_EQ(device.write(&byte, 1, milliseconds(10)).error.kind, ErrorKind::NotOpen);
    EXPECT_EQ(device.flushAndPurge().kind, ErrorKind::NotOpen);
    EXPECT_EQ(device.setBaud(9600).kind, ErrorKind::NotOpen);
    EXPECT_EQ(device.setDtr(true).kind, ErrorKind::NotOpen);
    EXPECT_EQ(device.readCts(cts).kind, ErrorKind::NotOpen);
    device.close();  // closing a closed device is harmless
}

}  // namespace
}  // namespace serial
