#include "formwell/link/comrig_trace.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace formwell::link {

namespace {

const char* controlName(unsigned char byte) {
    switch (byte) {
        case 0x01:
            return "SOH";
        case 0x02:
            return "STX";
        case 0x03:
            return "ETX";
        case 0x04:
            return "EOT";
        case 0x06:
            return "ACK";
        case 0x15:
            return "NAK";
        default:
            return nullptr;
    }
}

std::string hexByte(unsigned char byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

std::string oneByte(std::int32_t value) {
    if (value < 0 || value > 255) {
        return "none (" + std::to_string(value) + ")";
    }
    const auto byte = static_cast<unsigned char>(value);
    const char* name = controlName(byte);
    return hexByte(byte) + (name ? std::string(" (") + name + ")" : std::string());
}

std::string bytes(std::string_view data) {
    std::string text = std::to_string(data.size()) + (data.size() == 1 ? " byte:" : " bytes:");
    std::string shown;
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        text += " " + hexByte(byte);
        shown.push_back(byte >= 0x20 && byte < 0x7F ? c : '.');
    }
    return text + " |" + shown + "|";
}

struct Tracer {
    std::ostream& out;
    std::function<std::int64_t()> now;
    std::int64_t start = -1;

    void line(const std::string& text) {
        const std::int64_t t = now();
        if (start < 0) {
            start = t;
        }
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%7lld ms  ", static_cast<long long>(t - start));
        out << stamp << text << '\n' << std::flush;
    }
};

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ComrigTable tracedComrig(ComrigTable inner, std::ostream& out, std::function<std::int64_t()> nowMs) {
    auto tracer = std::make_shared<Tracer>(Tracer{out, nowMs ? std::move(nowMs) : steadyMs});
    ComrigTable t;
    t.ComOpen = [tracer, f = inner.ComOpen](const char* name, std::int32_t port, std::int32_t baud,
                                            std::int32_t dataBits, std::int32_t parity, std::int32_t stopBits,
                                            std::int32_t inQueue, std::int32_t outQueue) {
        const std::int32_t r = f(name, port, baud, dataBits, parity, stopBits, inQueue, outQueue);
        tracer->line("open COM" + std::to_string(port) + " " + std::to_string(baud) + " baud, " +
                     std::to_string(dataBits) + " data bits, parity " + std::to_string(parity) + ", " +
                     std::to_string(stopBits) + " stop bits = " + std::to_string(r));
        return r;
    };
    t.ComSetFlow = [tracer, f = inner.ComSetFlow](std::int32_t port, std::int32_t mode) {
        const std::int32_t r = f(port, mode);
        tracer->line("flow " + std::to_string(mode) + " = " + std::to_string(r));
        return r;
    };
    t.ComClose = [tracer, f = inner.ComClose](std::int32_t port) {
        const std::int32_t r = f(port);
        tracer->line("close COM" + std::to_string(port) + " = " + std::to_string(r));
        return r;
    };
    t.ComFlush = [tracer, f = inner.ComFlush](std::int32_t port) {
        const std::int32_t r = f(port);
        tracer->line("discard received = " + std::to_string(r));
        return r;
    };
    t.ComFlushImmediate = [tracer, f = inner.ComFlushImmediate](std::int32_t port) {
        const std::int32_t r = f(port);
        tracer->line("discard unsent = " + std::to_string(r));
        return r;
    };
    t.ComSleepMS = inner.ComSleepMS;
    t.ComPutc = [tracer, f = inner.ComPutc](std::int32_t port, std::int32_t byteValue) {
        const std::int32_t r = f(port, byteValue);
        tracer->line("tx " + oneByte(byteValue) + (r == 1 ? std::string() : " = " + std::to_string(r)));
        return r;
    };
    t.ComGetc = [tracer, f = inner.ComGetc](std::int32_t port) {
        const std::int32_t r = f(port);
        tracer->line("rx " + oneByte(r));
        return r;
    };
    t.ComWrite = [tracer, f = inner.ComWrite](std::int32_t port, const char* buf, std::int32_t n) {
        const std::int32_t r = f(port, buf, n);
        tracer->line("tx " + bytes(std::string_view(buf, n > 0 ? static_cast<std::size_t>(n) : 0)) + " = " +
                     std::to_string(r));
        return r;
    };
    t.ComReadBuf = [tracer, f = inner.ComReadBuf](std::int32_t port, char* buf, std::int32_t terminator,
                                                  std::int32_t max, std::int32_t wait) {
        const std::int32_t r = f(port, buf, terminator, max, wait);
        // A frame ends at the NUL after its terminator; otherwise the caller's buffer was all blanks, so
        // what arrived is everything up to the last non-blank.
        std::string_view got(buf, max > 0 ? static_cast<std::size_t>(max) : 0);
        if (r == 2) {
            got = got.substr(0, got.find('\0'));
        } else {
            const std::size_t last = got.find_last_not_of(' ');
            got = last == std::string_view::npos ? std::string_view() : got.substr(0, last + 1);
        }
        tracer->line("read = " + std::to_string(r) + ": " + bytes(got));
        return r;
    };
    return t;
}

}  // namespace formwell::link
