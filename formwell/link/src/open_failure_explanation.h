// The reason behind "Failure to Initialize Serial Port!" in words a user can act on: which device
// the port named, why it would not open, and what to do about it.
#pragma once

#include <cstdint>
#include <string>

#include "formwell/link/port_settings.h"

namespace formwell::link {

// From ComOpen's result, which names the cause (-2 no such device, -3 permission, -4 in use, -5 a
// setting the port does not take, -6 not a serial device), and the settings it was called with.
// The device is looked at again to find its group or the program holding it.
std::string explainComOpenFailure(std::int32_t comOpenResult, const PortSettings& settings);

}  // namespace formwell::link
