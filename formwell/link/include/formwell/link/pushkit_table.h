// The one way Formwell reaches pushkit: its three functions, with pushkit.h's arguments and results.
// The program fills the table with the library bound by name at run time; the tests hand in a fake
// loader.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pushkit.h"

namespace formwell::link {

struct PushkitTable {
    std::function<std::int32_t(const char* imagePath, std::int32_t port, std::int32_t baud,
                               std::int32_t dataBits, std::int32_t parity, std::int32_t stopBits,
                               std::int32_t wakeMethod)>
        Download;
    std::function<DownloadProgressHook(DownloadProgressHook hook)> SetDownloadProgressHook;
    std::function<void()> CancelAll;
};

// The name each function is exported under: the standard-call decoration on 32-bit Windows
// ("_Download@28"), the plain name everywhere else.
const char* pushkitExportName(const char* function);

// The pushkit library with its three functions, loaded on the first call: looked for beside the
// executable, then in ../lib beside it, then by the system's usual search. Throws AppError 48 when the
// library cannot be loaded and 453 naming the function when one is missing; a library once loaded
// stays loaded, one that failed is looked for again at the next call. Safe from any thread.
PushkitTable bindPushkit();
// The same for another file name (tests: a library that is not there, one without these functions).
PushkitTable bindPushkit(const std::string& fileName);

}  // namespace formwell::link
