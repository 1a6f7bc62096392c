// The three C exports: thin wrappers that hold the library's only process-wide state (the progress
// hook and the run flag) and keep every exception on this side of the boundary.
#include <atomic>
#include <new>

#include "abi_result.h"
#include "download.h"
#include "pushkit.h"
#include "serial_terminal_port.h"

namespace {

std::atomic<DownloadProgressHook> g_progressHook{nullptr};
std::atomic<std::int32_t> g_runFlag{0};
// The port layer and the run flag are process-wide: a second download must not share them.
std::atomic<bool> g_downloadRunning{false};

class RunningGuard {
  public:
    RunningGuard() : acquired_(!g_downloadRunning.exchange(true, std::memory_order_acq_rel)) {}
    ~RunningGuard() {
        if (acquired_) {
            g_downloadRunning.store(false, std::memory_order_release);
        }
    }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;
    bool acquired() const { return acquired_; }

  private:
    bool acquired_;
};

std::uint8_t lowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// The hook is read at every report, so a hook set (or removed) during a download takes effect at once.
void reportToHook(int port, double percent) {
    if (const DownloadProgressHook hook = g_progressHook.load(std::memory_order_acquire)) {
        hook(port, percent);
    }
}

}  // namespace

extern "C" {

PUSHKIT_API int32_t PUSHKIT_CALL Download(const char* imagePath, int32_t port, int32_t baud, int32_t dataBits,
                                          int32_t parity, int32_t stopBits, int32_t wakeMethod) {
    try {
        RunningGuard guard;
        if (!guard.acquired()) {
            return pushkit::abiResult(pushkit::DownloadResult::Busy);
        }
        pushkit::DownloadRequest request;
        request.imagePath = imagePath != nullptr ? imagePath : "";
        request.portNumber = lowByte(port);
        request.line.baud = static_cast<std::uint32_t>(baud);
        request.line.dataBits = lowByte(dataBits);
        request.line.parity = lowByte(parity);
        request.line.stopBits = lowByte(stopBits);
        request.wakeMethod = lowByte(wakeMethod);

        pushkit::SerialPortOpener opener;
        return pushkit::abiResult(pushkit::runDownload(opener, request, g_runFlag, reportToHook));
    } catch (const std::bad_alloc&) {
        return pushkit::abiResult(pushkit::DownloadResult::OutOfMemory);
    } catch (...) {
        return pushkit::abiResult(pushkit::DownloadResult::InternalError);
    }
}

PUSHKIT_API DownloadProgressHook PUSHKIT_CALL SetDownloadProgressHook(DownloadProgressHook hook) {
    g_progressHook.store(hook, std::memory_order_release);
    return hook;
}

PUSHKIT_API void PUSHKIT_CALL CancelAll(void) {
    g_runFlag.store(0, std::memory_order_release);
}

}  // extern "C"
