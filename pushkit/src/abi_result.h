// Download's outcome as the number its callers receive.
#pragma once

#include <cstdint>

#include "download_result.h"

namespace pushkit {

// The number pushkit.h gives the outcome: 14 or 10 for a loaded image, negative for every failure.
std::int32_t abiResult(DownloadResult result);

}  // namespace pushkit
