// The termios record for a line configuration, built apart from the port so that every flag can be
// checked (a pseudo-terminal ignores character size and parity, so a pty cannot show them).
#pragma once

#include <termios.h>

#include <optional>
#include <string>

#include "serial/serial_device.h"

namespace serial::detail {

// `current` changed to raw bytes both ways at the configuration's format: no echo, no line editing,
// no CR/LF translation, no XON/XOFF, no hardware handshake, no parity checking of received bytes,
// modem-status lines ignored, receiver on. Reads return as soon as one byte is there (VMIN 1), which
// on a non-blocking descriptor keeps "nothing yet" (EAGAIN) apart from "hung up" (0).
// nullopt for a baud rate without a termios constant: only the standard rates can be set, and any
// other is refused rather than rounded. Data bits, parity and stop bits are taken as checked.
std::optional<termios> makeTermios(const termios& current, const LineConfig& config);

// What a device can show of the settings written to it.
enum class LineKind {
    SerialPort,
    // A pseudo-terminal carries bytes, not characters on a wire: its driver forces 8 data bits and
    // drops the parity flag whatever is asked, and has no parity to get wrong.
    PseudoTerminal,
};

// tcsetattr() succeeds when any one of the changes was made, so a driver that cannot do a setting
// (mark parity, 5 data bits, a speed) says nothing about it. This compares what the port reports
// after the write with what was asked: empty when the port took everything that matters on the wire
// (speed, data bits, parity, stop bits), else the names of what it did not take. On a pseudo-terminal
// data bits and parity are not compared.
std::string settingsNotTaken(const termios& wanted, const termios& actual, LineKind kind);

}  // namespace serial::detail
