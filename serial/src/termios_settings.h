// The termios record for a line configuration, built apart from the port so that every flag can be
// checked (a pseudo-terminal ignores character size and parity, so a pty cannot show them).
#pragma once

#include <termios.h>

#include <optional>

#include "serial/include/serial/serial_device.h"

namespace serial::detail {

// InvalidSetting for a baud rate without a termios constant, data bits outside 5-8, unknown codes.
Error checkConfig(const LineConfig& config);

// `current` changed to raw bytes both ways at the configuration's format: no echo, no line editing,
// no CR/LF translation, no XON/XOFF, no hardware handshake, no parity checking of received bytes,
// modem-status lines ignored, receiver on. Reads return as soon as one byte is there (VMIN 1), which
// on a non-blocking descriptor keeps "nothing yet" (EAGAIN) apart from "hung up" (0).
// nullopt when the configuration is invalid.
std::optional<termios> makeTermios(const termios& current, const LineConfig& config);

}  // namespace serial::detail
