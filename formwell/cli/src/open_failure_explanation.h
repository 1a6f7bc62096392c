// The reason behind "Failure to Initialize Serial Port!" in words a user can act on: which device
// the port named, and why it would not open.
#pragma once

#include <cstdint>
#include <string>

namespace formwell::cli {

// From ComOpen's result (comrig names the cause: -2 no such device, -3 permission, -4 in use,
// -5 a setting the port does not take, -6 not a serial device) and the port number.
std::string explainComOpenFailure(std::int32_t comOpenResult, int portNumber);

}  // namespace formwell::cli
