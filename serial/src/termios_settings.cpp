#include "termios_settings.h"

#include <array>
#include <string>

namespace serial::detail {

namespace {

// Only rates with a termios constant can be set; anything else is refused rather than rounded, so a
// caller never talks at a speed it did not ask for.
std::optional<speed_t> speedFor(std::uint32_t baud) {
    struct Rate {
        std::uint32_t baud;
        speed_t speed;
    };
    static constexpr std::array kRates{
        Rate{50, B50},           Rate{75, B75},           Rate{110, B110},         Rate{134, B134},
        Rate{150, B150},         Rate{200, B200},         Rate{300, B300},         Rate{600, B600},
        Rate{1200, B1200},       Rate{1800, B1800},       Rate{2400, B2400},       Rate{4800, B4800},
        Rate{9600, B9600},       Rate{19200, B19200},     Rate{38400, B38400},     Rate{57600, B57600},
        Rate{115200, B115200},   Rate{230400, B230400},   Rate{460800, B460800},   Rate{500000, B500000},
        Rate{576000, B576000},   Rate{921600, B921600},   Rate{1000000, B1000000}, Rate{1152000, B1152000},
        Rate{1500000, B1500000}, Rate{2000000, B2000000},
    };
    for (const Rate& rate : kRates) {
        if (rate.baud == baud) {
            return rate.speed;
        }
    }
    return std::nullopt;
}

tcflag_t characterSize(std::uint8_t dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

tcflag_t parityFlags(Parity parity) {
    switch (parity) {
        case Parity::Odd:
            return PARENB | PARODD;
        case Parity::Even:
            return PARENB;
        case Parity::Mark:
            return PARENB | CMSPAR | PARODD;
        case Parity::Space:
            return PARENB | CMSPAR;
        case Parity::None:
            break;
    }
    return 0;
}

// The parity in force: the odd, mark and space flags mean nothing while parity is off (a pty leaves
// them set when it drops the parity flag).
tcflag_t parityInForce(const termios& tio) {
    return (tio.c_cflag & PARENB) != 0 ? tio.c_cflag & (PARENB | PARODD | CMSPAR) : 0;
}

}  // namespace

std::optional<termios> makeTermios(const termios& current, const LineConfig& config) {
    const std::optional<speed_t> speed = speedFor(config.baud);
    if (!speed) {
        return std::nullopt;
    }
    termios tio = current;
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | characterSize(config.dataBits) | parityFlags(config.parity);
    if (config.stopBits != StopBits::One) {
        tio.c_cflag |= CSTOPB;  // termios has no half stop bit: one and a half is sent as two
    }
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0) {
        return std::nullopt;
    }
    return tio;
}

std::string settingsNotTaken(const termios& wanted, const termios& actual, LineKind kind) {
    std::string missing;
    const auto note = [&missing](const char* what) {
        missing += missing.empty() ? what : std::string(", ") + what;
    };
    if (::cfgetospeed(&wanted) != ::cfgetospeed(&actual)) {
        note("speed");
    }
    const bool formatShown = kind == LineKind::SerialPort;
    if (formatShown && (wanted.c_cflag & CSIZE) != (actual.c_cflag & CSIZE)) {
        note("data bits");
    }
    if (formatShown && parityInForce(wanted) != parityInForce(actual)) {
        note("parity");
    }
    if ((wanted.c_cflag & CSTOPB) != (actual.c_cflag & CSTOPB)) {
        note("stop bits");
    }
    return missing;
}

}  // namespace serial::detail
