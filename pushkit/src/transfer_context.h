// What every transfer gets from Download: the open port, the progress hook, the run flag and the
// port number the caller gave (the hook reports it back).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "port.h"

namespace pushkit {

// Called with the caller's port number (low byte) and a percentage 0.0-100.0. May call CancelAll.
using ProgressFn = std::function<void(int portNumber, double percent)>;

struct TransferContext {
    Port& port;
    const std::atomic<std::int32_t>& run;  // 0 = cancelled; read afresh at every poll point
    ProgressFn progress;                   // empty: no hook registered
    int portNumber = 0;                    // low byte of the caller's port number

    bool cancelled() const { return run.load(std::memory_order_acquire) == 0; }
    void report(double percent) const {
        if (progress) {
            progress(portNumber, percent);
        }
    }
};

}  // namespace pushkit
