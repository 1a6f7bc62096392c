// Why a port did not open, in words a person can act on, for programs that show the failure to people.
// The library itself never prints.
#pragma once

#include <string>

#include "serial/serial_device.h"

namespace serial {

// A sentence or two for a failed SerialDevice::open(portNumber, ...): the device COM<n> named, why it
// could not be opened, and what to do about it: for a device this user may not open, the group to join;
// for one in use, the program holding it where the system can tell. It looks at the device again, so
// call it soon after the failure. Empty for an error that is ok().
std::string explainOpenFailure(const Error& error, int portNumber);

}  // namespace serial
