#include "wake_up.h"

#include <array>
#include <optional>
#include <utility>

namespace pushkit {

namespace {

// DTR pulses: the loader counts pulses after the RTS blip to learn the speed the PC will use.
constexpr std::array<std::pair<std::uint32_t, int>, 7> kPulsesBySpeed{{
    {2400, 6},
    {4800, 5},
    {9600, 4},
    {19200, 3},
    {38400, 2},
    {57600, 1},
    {115200, 0},
}};
constexpr std::uint32_t kDtrSettleMs = 200;
constexpr std::uint32_t kPulseEdgeMs = 1;

// Code byte: the loader listens at 9600 8N1 after the line sequence and reads one byte naming the
// speed. It has no code for 115200.
constexpr std::array<std::pair<std::uint32_t, std::uint8_t>, 6> kCodeBySpeed{{
    {2400, 0x18},
    {4800, 0x16},
    {9600, 0x14},
    {19200, 0x13},
    {38400, 0x12},
    {57600, 0x11},
}};
constexpr LineSettings kCodeByteLine{9600, 8, kParityNone, kStopOne};
constexpr std::uint32_t kLinePhaseMs = 100;
constexpr std::uint32_t kRtsLeadMs = 2;
constexpr std::uint32_t kDtrLeadMs = 2;
constexpr std::uint32_t kBeforeCodeByteMs = 7;
constexpr std::uint32_t kAfterCodeByteMs = 50;

template <typename Table>
auto lookUp(const Table& table, std::uint32_t speed)
    -> std::optional<typename Table::value_type::second_type> {
    for (const auto& [tableSpeed, value] : table) {
        if (tableSpeed == speed) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace

WakeResult wakeByDtrPulses(Port& port, std::uint32_t speed) {
    const std::optional<int> pulses = lookUp(kPulsesBySpeed, speed);
    if (!pulses) {
        // Leave both lines held, as an open port has them.
        port.setRts(true);
        port.setDtr(true);
        return WakeResult::NoCodeForSpeed;
    }

    port.setDtr(false);
    port.setRts(false);
    port.sleepMs(kDtrSettleMs);
    port.setDtr(true);
    port.setRts(true);
    port.sleepMs(kDtrSettleMs);
    port.setRts(false);
    port.sleepMs(kPulseEdgeMs);
    port.setRts(true);
    port.sleepMs(kPulseEdgeMs);
    for (int i = 0; i < *pulses; ++i) {
        port.setDtr(false);
        port.sleepMs(kPulseEdgeMs);
        port.setDtr(true);
        port.sleepMs(kPulseEdgeMs);
    }
    port.flushAndPurge();
    return WakeResult::Woken;
}

WakeResult wakeByCodeByte(Port& port, const LineSettings& after) {
    port.setLine(kCodeByteLine);

    port.setRts(false);
    port.setDtr(false);
    port.sleepMs(kLinePhaseMs);
    port.setRts(true);
    port.setDtr(true);
    port.sleepMs(kLinePhaseMs);
    port.setRts(false);
    port.setDtr(false);
    port.sleepMs(kLinePhaseMs);

    port.setRts(true);
    port.sleepMs(kRtsLeadMs);
    port.setDtr(true);
    port.sleepMs(kDtrLeadMs);
    port.setRts(false);
    port.sleepMs(kBeforeCodeByteMs);

    const std::optional<std::uint8_t> code = lookUp(kCodeBySpeed, after.baud);
    if (!code) {
        return WakeResult::NoCodeForSpeed;  // the lines stay as the sequence left them
    }
    // A lost code byte is not reported here: the terminal then stays silent and the transfer's first
    // query reports the missing answer.
    (void)port.write(&*code, 1);
    port.sleepMs(kAfterCodeByteMs);
    port.setRts(true);

    port.setLine(after);
    port.flushAndPurge();
    return WakeResult::Woken;
}

}  // namespace pushkit
