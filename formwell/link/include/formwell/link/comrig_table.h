// The one way the link layer reaches comrig: a table of its ten functions, with comrig.h's
// arguments and results. The program fills it with the library bound by name at run time; the
// tests hand in a fake terminal on a virtual clock; formwell-cli wraps it to trace every byte and to
// stop at Ctrl-C. Nothing in the link layer calls comrig any other way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace formwell::link {

struct ComrigTable {
    std::function<std::int32_t(const char* name, std::int32_t port, std::int32_t baud, std::int32_t dataBits,
                               std::int32_t parity, std::int32_t stopBits, std::int32_t inQueue,
                               std::int32_t outQueue)>
        ComOpen;
    std::function<std::int32_t(std::int32_t port, std::int32_t mode)> ComSetFlow;
    std::function<std::int32_t(std::int32_t port)> ComClose;
    std::function<std::int32_t(std::int32_t port)> ComFlush;
    std::function<std::int32_t(std::int32_t port)> ComFlushImmediate;
    std::function<std::int32_t(std::int32_t port, std::int32_t ms)> ComSleepMS;
    std::function<std::int32_t(std::int32_t port, std::int32_t byteValue)> ComPutc;
    std::function<std::int32_t(std::int32_t port)> ComGetc;
    std::function<std::int32_t(std::int32_t port, const char* buf, std::int32_t n)> ComWrite;
    std::function<std::int32_t(std::int32_t port, char* buf, std::int32_t terminator, std::int32_t max,
                               std::int32_t wait)>
        ComReadBuf;
};

// The comrig library, bound by name at each function's first call, like a declared library
// function: the library is looked for beside the executable, then in ../lib beside it (the build's
// and an installation's layout), then by the system's usual search. A library that cannot be loaded
// throws AppError 48 and a function missing from it AppError 453, at the call that needs it: the
// running transfer's error handler reports it. A library once loaded stays loaded; one that failed
// to load is looked for again at the next call.
ComrigTable boundComrig();
// The same for another file name (tests: a library that is not there, one without these functions).
ComrigTable boundComrig(const std::string& fileName);

// The same calls, except that once `interrupted` answers true every call that moves bytes or sets up
// the port throws AppError 18 ("User interrupt occurred") instead of reaching it: the transfer's error
// handler then closes the port and reports the interruption. ComClose and ComSleepMS always go
// through (a record acknowledged to the terminal is stored before the next call that can raise).
// Used by formwell-cli for Ctrl-C.
ComrigTable interruptibleComrig(ComrigTable inner, std::function<bool()> interrupted);

}  // namespace formwell::link
