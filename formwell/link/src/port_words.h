// The words for a port and its line settings, as the questions before a transfer show them:
// "COM3 (/dev/ttyUSB0): 19200 baud, 8 data bits, no parity, 1 stop bit".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "formwell/link/port_settings.h"

namespace formwell::link {

// In the loader's codes: parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a
// half, 2 two.
std::string parityWords(std::int32_t parity);
std::string stopBitWords(std::int32_t stopBits);

// "COM3 (/dev/ttyUSB0)"; only "COM3" where the device is the port's own name (Windows).
std::string portAndDevice(std::int32_t port);

// The port and the line settings of mbx.dat as the INI send and the receive open it.
std::string portLineText(const PortSettings& settings);

// The same read quietly from the start-up directory's mbx.dat, for beneath a question: empty when
// the file is missing or broken (the transfer says so in its own words when it reads it).
// `port`, when given, in place of mbx.dat's.
std::string portLineTextFrom(const std::string& startupDirectory, std::optional<std::int32_t> port = {});

}  // namespace formwell::link
