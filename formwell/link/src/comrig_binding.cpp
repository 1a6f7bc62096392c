// comrig bound by name at run time. Each function is looked up at its first call, as a declared
// library function is: a transfer that never reads does not need ComReadBuf, and the program starts
// and edits documents without the library.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "comrig.h"
#include "formwell/common/app_error.h"
#include "formwell/link/comrig_table.h"
#include "formwell/link/shared_library.h"

namespace formwell::link {

namespace {

struct Symbols {
    decltype(&::ComOpen) ComOpen = nullptr;
    decltype(&::ComSetFlow) ComSetFlow = nullptr;
    decltype(&::ComClose) ComClose = nullptr;
    decltype(&::ComFlush) ComFlush = nullptr;
    decltype(&::ComFlushImmediate) ComFlushImmediate = nullptr;
    decltype(&::ComSleepMS) ComSleepMS = nullptr;
    decltype(&::ComPutc) ComPutc = nullptr;
    decltype(&::ComGetc) ComGetc = nullptr;
    decltype(&::ComWrite) ComWrite = nullptr;
    decltype(&::ComReadBuf) ComReadBuf = nullptr;
};

// What one table has bound so far. The system loads a library once per process, however many
// tables ask for it.
struct Binding {
    std::string fileName;
    std::mutex mutex;
    std::optional<LoadedLibrary> library;
    Symbols symbols;
};

// The function `name` of the library, loading the library first if needed. Throws 48 or 453.
template <typename Fn>
Fn resolve(Binding& b, Fn Symbols::*slot, const char* name) {
    const std::lock_guard<std::mutex> lock(b.mutex);
    if (Fn bound = b.symbols.*slot) {
        return bound;
    }
    const std::string& fileName = b.fileName;
    if (!b.library) {
        std::string reason;
        b.library = loadLibrary(fileName, reason);
        if (!b.library) {
            throw AppError{errnum::kLibraryLoad,
                           describeError(errnum::kLibraryLoad) + ": " + fileName + " (" + reason + ")"};
        }
    }
    void* address = findSymbol(*b.library, name);
    if (address == nullptr) {
        throw AppError{errnum::kFunctionNotFound,
                       describeError(errnum::kFunctionNotFound) + ": " + name + " in " + b.library->path};
    }
    Fn bound = reinterpret_cast<Fn>(address);
    b.symbols.*slot = bound;
    return bound;
}

}  // namespace

ComrigTable boundComrig() {
    return boundComrig(libraryFileName("comrig"));
}

ComrigTable boundComrig(const std::string& fileName) {
    auto b = std::make_shared<Binding>();
    b->fileName = fileName;
    ComrigTable t;
    t.ComOpen = [b](const char* name, std::int32_t port, std::int32_t baud, std::int32_t dataBits,
                    std::int32_t parity, std::int32_t stopBits, std::int32_t inQueue, std::int32_t outQueue) {
        return resolve(*b, &Symbols::ComOpen, "ComOpen")(name, port, baud, dataBits, parity, stopBits,
                                                         inQueue, outQueue);
    };
    t.ComSetFlow = [b](std::int32_t port, std::int32_t mode) {
        return resolve(*b, &Symbols::ComSetFlow, "ComSetFlow")(port, mode);
    };
    t.ComClose = [b](std::int32_t port) { return resolve(*b, &Symbols::ComClose, "ComClose")(port); };
    t.ComFlush = [b](std::int32_t port) { return resolve(*b, &Symbols::ComFlush, "ComFlush")(port); };
    t.ComFlushImmediate = [b](std::int32_t port) {
        return resolve(*b, &Symbols::ComFlushImmediate, "ComFlushImmediate")(port);
    };
    t.ComSleepMS = [b](std::int32_t port, std::int32_t ms) {
        return resolve(*b, &Symbols::ComSleepMS, "ComSleepMS")(port, ms);
    };
    t.ComPutc = [b](std::int32_t port, std::int32_t byteValue) {
        return resolve(*b, &Symbols::ComPutc, "ComPutc")(port, byteValue);
    };
    t.ComGetc = [b](std::int32_t port) { return resolve(*b, &Symbols::ComGetc, "ComGetc")(port); };
    t.ComWrite = [b](std::int32_t port, const char* buf, std::int32_t n) {
        return resolve(*b, &Symbols::ComWrite, "ComWrite")(port, buf, n);
    };
    t.ComReadBuf = [b](std::int32_t port, char* buf, std::int32_t terminator, std::int32_t max,
                       std::int32_t wait) {
        return resolve(*b, &Symbols::ComReadBuf, "ComReadBuf")(port, buf, terminator, max, wait);
    };
    return t;
}

namespace {

constexpr std::int32_t kWaitSliceMs = 20;
constexpr char kEotByte = 0x04;

// A read that waits up to `wait` seconds for a frame, with Ctrl-C seen within a slice of that wait:
// the first byte is waited for in slices (a read of one byte that takes only what has arrived, then a
// pause), and the rest of the frame comes in one ordinary read. The results and the buffer are those
// of one ComReadBuf; an EOT on its own still ends the wait at once.
std::int32_t readInSlices(const decltype(ComrigTable::ComReadBuf)& read,
                          const decltype(ComrigTable::ComSleepMS)& sleep, const std::function<void()>& check,
                          std::int32_t port, char* buf, std::int32_t terminator, std::int32_t max,
                          std::int32_t wait) {
    if (buf == nullptr || max < 2 || wait <= 0) {
        return read(port, buf, terminator, max, wait);
    }
    const char original = buf[0];
    const std::int64_t waitMs = std::int64_t{wait} * 1000;
    for (std::int64_t waited = 0;; waited += kWaitSliceMs) {
        buf[0] = 0;  // tells an EOT that came from none
        const std::int32_t first = read(port, buf, terminator, 1, 0);
        if (first == 2 || first < 0) {
            return first;  // the terminator on its own, with its NUL; or the port failed
        }
        if (first == 1) {
            break;  // one byte of a frame is in buf[0]
        }
        if (buf[0] == kEotByte) {
            return 3;
        }
        buf[0] = original;  // nothing came: the buffer stays as the caller filled it
        if (waited >= waitMs) {
            return 3;
        }
        check();
        (void)sleep(port, kWaitSliceMs);
    }
    return read(port, buf + 1, terminator, max - 1, wait);
}

}  // namespace

ComrigTable interruptibleComrig(ComrigTable inner, std::function<bool()> interrupted) {
    // Checked before each call: the call that would have followed the Ctrl-C raises instead.
    auto check = [interrupted] {
        if (interrupted && interrupted()) {
            throw makeError(errnum::kUserInterrupt);
        }
    };
    ComrigTable t = inner;
    t.ComOpen = [check, f = inner.ComOpen](const char* name, std::int32_t port, std::int32_t baud,
                                           std::int32_t dataBits, std::int32_t parity, std::int32_t stopBits,
                                           std::int32_t inQueue, std::int32_t outQueue) {
        check();
        return f(name, port, baud, dataBits, parity, stopBits, inQueue, outQueue);
    };
    t.ComSetFlow = [check, f = inner.ComSetFlow](std::int32_t port, std::int32_t mode) {
        check();
        return f(port, mode);
    };
    // ComClose is what the error path calls after the interruption: it always reaches the port.
    t.ComFlush = [check, f = inner.ComFlush](std::int32_t port) {
        check();
        return f(port);
    };
    t.ComFlushImmediate = [check, f = inner.ComFlushImmediate](std::int32_t port) {
        check();
        return f(port);
    };
    // A pause is not checked either: it is short, and the call after it is.
    t.ComPutc = [check, f = inner.ComPutc](std::int32_t port, std::int32_t byteValue) {
        check();
        return f(port, byteValue);
    };
    t.ComGetc = [check, f = inner.ComGetc](std::int32_t port) {
        check();
        return f(port);
    };
    t.ComWrite = [check, f = inner.ComWrite](std::int32_t port, const char* buf, std::int32_t n) {
        check();
        return f(port, buf, n);
    };
    t.ComReadBuf = [check, f = inner.ComReadBuf, sleep = inner.ComSleepMS](
                       std::int32_t port, char* buf, std::int32_t terminator, std::int32_t max,
                       std::int32_t wait) {
        check();
        const std::int32_t result = readInSlices(f, sleep, check, port, buf, terminator, max, wait);
        check();  // a frame read when Ctrl-C came is not acknowledged: the terminal keeps it
        return result;
    };
    return t;
}

}  // namespace formwell::link
