#include "wake_up.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pushkit/testing/scripted_terminal.h"

namespace pushkit {
namespace {

using testing::EventKind;
using testing::ScriptedTerminal;

// The port calls after opening, one token each: DTR1/DTR0, RTS1/RTS0, S<ms>, W<hex bytes>,
// L<baud>/<data bits><parity><stop bits>, FP. Reads the line lengths and waits at a glance.
std::string lineLog(const ScriptedTerminal& terminal) {
    std::string out;
    char token[32];
    for (const auto& e : terminal.log()) {
        switch (e.kind) {
            case EventKind::SetDtr:
                out += e.on ? "DTR1 " : "DTR0 ";
                break;
            case EventKind::SetRts:
                out += e.on ? "RTS1 " : "RTS0 ";
                break;
            case EventKind::Sleep:
                std::snprintf(token, sizeof token, "S%u ", e.value);
                out += token;
                break;
            case EventKind::FlushPurge:
                out += "FP ";
                break;
            case EventKind::SetBaud:
                std::snprintf(token, sizeof token, "B%u ", e.value);
                out += token;
                break;
            case EventKind::SetLine:
                std::snprintf(token, sizeof token, "L%u/%u%u%u ", e.line.baud, e.line.dataBits, e.line.parity,
                              e.line.stopBits);
                out += token;
                break;
            case EventKind::Write:
                out += "W";
                for (auto b : e.bytes) {
                    std::snprintf(token, sizeof token, "%02X", b);
                    out += token;
                }
                out += " ";
                break;
            default:
                break;
        }
    }
    return out;
}

TEST(WakeByDtrPulses, PulseCountTellsTheSpeed) {
    const std::string head = "DTR0 RTS0 S200 DTR1 RTS1 S200 RTS0 S1 RTS1 S1 ";
    const std::string pulse = "DTR0 S1 DTR1 S1 ";
    struct Case {
        std::uint32_t speed;
        int pulses;
    } cases[] = {{2400, 6}, {4800, 5}, {9600, 4}, {19200, 3}, {38400, 2}, {57600, 1}, {115200, 0}};
    for (const Case& c : cases) {
        ScriptedTerminal terminal;
        auto port = terminal.openPort();
        EXPECT_EQ(wakeByDtrPulses(*port, c.speed), WakeResult::Woken) << c.speed;
        std::string expected = head;
        for (int i = 0; i < c.pulses; ++i) {
            expected += pulse;
        }
        EXPECT_EQ(lineLog(terminal), expected + "FP ") << c.speed;
        EXPECT_EQ(terminal.nowMs(), 402u + 2u * static_cast<unsigned>(c.pulses)) << c.speed;
    }
}

TEST(WakeByDtrPulses, UnknownSpeedLeavesBothLinesHeld) {
    for (std::uint32_t speed : {0u, 1200u, 14400u, 230400u}) {
        ScriptedTerminal terminal;
        auto port = terminal.openPort();
        EXPECT_EQ(wakeByDtrPulses(*port, speed), WakeResult::NoCodeForSpeed);
        EXPECT_EQ(lineLog(terminal), "RTS1 DTR1 ");
        EXPECT_EQ(terminal.nowMs(), 0u);
    }
}

TEST(WakeByCodeByte, SendsTheSpeedCodeAt9600ThenTakesTheCallersLine) {
    const std::string sequence =
        "L9600/800 RTS0 DTR0 S100 RTS1 DTR1 S100 RTS0 DTR0 S100 RTS1 S2 DTR1 S2 RTS0 S7 ";
    struct Case {
        LineSettings after;
        std::string tail;
    } cases[] = {
        {{2400, 8, kParityNone, kStopOne}, "W18 S50 RTS1 L2400/800 FP "},
        {{4800, 8, kParityNone, kStopOne}, "W16 S50 RTS1 L4800/800 FP "},
        {{9600, 7, kParityEven, kStopTwo}, "W14 S50 RTS1 L9600/722 FP "},
        {{19200, 8, kParityOdd, kStopOne}, "W13 S50 RTS1 L19200/810 FP "},
        {{38400, 5, kParitySpace, kStopOneAndHalf}, "W12 S50 RTS1 L38400/541 FP "},
        {{57600, 8, kParityMark, kStopOne}, "W11 S50 RTS1 L57600/830 FP "},
    };
    for (const Case& c : cases) {
        ScriptedTerminal terminal;
        auto port = terminal.openPort();
        EXPECT_EQ(wakeByCodeByte(*port, c.after), WakeResult::Woken) << c.after.baud;
        EXPECT_EQ(lineLog(terminal), sequence + c.tail) << c.after.baud;
        EXPECT_EQ(terminal.nowMs(), 361u) << c.after.baud;
    }
}

TEST(WakeByCodeByte, SpeedWithoutCodeStopsAfterTheLineSequence) {
    ScriptedTerminal terminal;
    auto port = terminal.openPort();
    EXPECT_EQ(wakeByCodeByte(*port, {115200, 8, kParityNone, kStopOne}), WakeResult::NoCodeForSpeed);
    EXPECT_EQ(lineLog(terminal),
              "L9600/800 RTS0 DTR0 S100 RTS1 DTR1 S100 RTS0 DTR0 S100 RTS1 S2 DTR1 S2 RTS0 S7 ");
    EXPECT_EQ(terminal.count(EventKind::Write), 0u);
}

}  // namespace
}  // namespace pushkit
