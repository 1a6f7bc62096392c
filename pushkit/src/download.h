// One download from start to end: open the port, wake the terminal, read the image, choose the
// transfer from the image's name and the terminal's first answer, and close everything again.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "download_result.h"
#include "port.h"
#include "pushkit/image/image_name.h"
#include "transfer_context.h"

namespace pushkit {

struct DownloadRequest {
    std::string_view imagePath;
    int portNumber = 0;  // low byte of the caller's port number
    LineSettings
        line;  // the caller's baud rate (used only for "RMT" terminals), data bits, parity, stop bits
    int wakeMethod = 0;  // 1 DTR pulses, 2 code byte, anything else none
};

// The port is closed before it returns, on every path. Sets `run` to 1 first of all; a cancel from
// then on gives Cancelled at the next poll point: once the terminal is woken, between chunks of the
// image file, and in the transfer.
DownloadResult runDownload(PortOpener& opener, const DownloadRequest& request, std::atomic<std::int32_t>& run,
                           const ProgressFn& progress);

}  // namespace pushkit
