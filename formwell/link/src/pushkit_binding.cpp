// pushkit bound by name at run time, all three functions at once: a load needs the hook and the
// cancel as much as Download, and it must fail before it starts, not half-way through.
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "formwell/common/app_error.h"
#include "formwell/link/pushkit_table.h"
#include "formwell/link/shared_library.h"

namespace formwell::link {

namespace {

using DownloadFn = std::int32_t(PUSHKIT_CALL*)(const char*, std::int32_t, std::int32_t, std::int32_t,
                                               std::int32_t, std::int32_t, std::int32_t);
using SetHookFn = DownloadProgressHook(PUSHKIT_CALL*)(DownloadProgressHook);
using CancelAllFn = void(PUSHKIT_CALL*)();

// The system loads a library once per process; we keep what it gave us per file name.
std::mutex bindingMutex;
std::map<std::string, LoadedLibrary>& loadedLibraries() {
    static std::map<std::string, LoadedLibrary> libraries;
    return libraries;
}

void* requireSymbol(const LoadedLibrary& library, const char* function) {
    const char* name = pushkitExportName(function);
    void* address = findSymbol(library, name);
    if (address == nullptr) {
        throw AppError{errnum::kFunctionNotFound,
                       describeError(errnum::kFunctionNotFound) + ": " + name + " in " + library.path};
    }
    return address;
}

}  // namespace

const char* pushkitExportName(const char* function) {
#if defined(_WIN32) && !defined(_WIN64)
    static const std::map<std::string, const char*> decorated = {
        {"Download", "_Download@28"},
        {"SetDownloadProgressHook", "_SetDownloadProgressHook@4"},
        {"CancelAll", "_CancelAll@0"},
    };
    const auto it = decorated.find(function);
    return it == decorated.end() ? function : it->second;
#else
    return function;
#endif
}

PushkitTable bindPushkit() {
    return bindPushkit(libraryFileName("pushkit"));
}

PushkitTable bindPushkit(const std::string& fileName) {
    const std::lock_guard<std::mutex> lock(bindingMutex);
    auto& libraries = loadedLibraries();
    auto it = libraries.find(fileName);
    if (it == libraries.end()) {
        std::string reason;
        std::optional<LoadedLibrary> library = loadLibrary(fileName, reason);
        if (!library) {
            throw AppError{errnum::kLibraryLoad,
                           describeError(errnum::kLibraryLoad) + ": " + fileName + " (" + reason + ")"};
        }
        it = libraries.emplace(fileName, *library).first;
    }
    const LoadedLibrary& library = it->second;
    const auto download = reinterpret_cast<DownloadFn>(requireSymbol(library, "Download"));
    const auto setHook = reinterpret_cast<SetHookFn>(requireSymbol(library, "SetDownloadProgressHook"));
    const auto cancelAll = reinterpret_cast<CancelAllFn>(requireSymbol(library, "CancelAll"));
    PushkitTable table;
    table.Download = [download](const char* imagePath, std::int32_t port, std::int32_t baud,
                                std::int32_t dataBits, std::int32_t parity, std::int32_t stopBits,
                                std::int32_t wakeMethod) {
        return download(imagePath, port, baud, dataBits, parity, stopBits, wakeMethod);
    };
    table.SetDownloadProgressHook = [setHook](DownloadProgressHook hook) { return setHook(hook); };
    table.CancelAll = [cancelAll] { cancelAll(); };
    return table;
}

}  // namespace formwell::link
