// Win32 comm backend. The port is opened for ordinary (not overlapped) access, so every ReadFile and
// WriteFile ends by the comm time-outs written to the driver; they are set from each call's own wait.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "open_failure.h"
#include "port_backend.h"
#include "serial/port_map.h"

namespace serial {

namespace {

constexpr BYTE kEventCharDle = 0x10;
// MAXDWORD has special meanings in COMMTIMEOUTS; a time-out taken from the caller stays below it.
constexpr DWORD kLongestTimeoutMs = MAXDWORD - 1;
// The longest one ReadFile waits for a first byte; the caller's read goes on until its own deadline.
// Wine's comm driver can miss a byte that arrives during a long wait and hold the read to its full
// time-out (a receive's next frame was held 5 s, so the terminal sent it three times); a Windows
// driver returns on the byte either way, and waking every few milliseconds costs it nothing.
constexpr DWORD kReadSliceMs = 10;

std::string systemText(DWORD code) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result =
        length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
    ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) {
        result.pop_back();
    }
    return result;
}

Error osFailure(ErrorKind kind, DWORD code, const std::string& what) {
    return Error{kind, static_cast<int>(code), what + ": " + systemText(code)};
}

ErrorKind kindForOpenError(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_UNIT:
            return ErrorKind::NoSuchDevice;
        // A comm port that another program holds answers "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return ErrorKind::InUse;
        default:
            return ErrorKind::Other;
    }
}

ErrorKind kindForIoError(DWORD code) {
    switch (code) {
        case ERROR_DEVICE_REMOVED:
        case ERROR_BAD_COMMAND:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_OPERATION_ABORTED:
            return ErrorKind::HungUp;
        default:
            return ErrorKind::Other;
    }
}

// A port without modem lines: a driver that has no such function, or (Wine on a pseudo-terminal, some
// virtual COM ports) one that says the request is not supported.
ErrorKind kindForModemError(DWORD code) {
    return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ? ErrorKind::Unsupported
                                                                         : kindForIoError(code);
}

DWORD clampMs(std::chrono::milliseconds wait) {
    if (wait.count() <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(wait.count()) > kLongestTimeoutMs ? kLongestTimeoutMs
                                                                        : static_cast<DWORD>(wait.count());
}

DWORD chunkOf(std::size_t n) {
    return n > MAXDWORD ? MAXDWORD : static_cast<DWORD>(n);
}

class Win32Backend final : public detail::PortBackend {
  public:
    explicit Win32Backend(HANDLE port) : port_(port) {}
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;
    ~Win32Backend() override { (void)::CloseHandle(port_); }  // the handle is gone either way

    // Every other field keeps the value the port had. All flow control is off: XON/XOFF would swallow
    // the wake-up code bytes 0x11 and 0x13 and stall on them inside binary frames.
    Error configure(const LineConfig& config) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!::GetCommState(port_, &dcb)) {
            return osFailure(ErrorKind::Other, ::GetLastError(), "cannot read the port settings");
        }
        dcb.BaudRate = config.baud;
        dcb.ByteSize = config.dataBits;
        dcb.Parity = static_cast<BYTE>(config.parity);      // NOPARITY .. SPACEPARITY in the same order
        dcb.StopBits = static_cast<BYTE>(config.stopBits);  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fTXContinueOnXoff = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fAbortOnError = FALSE;
        dcb.EvtChar = static_cast<char>(kEventCharDle);
        if (!::SetCommState(port_, &dcb)) {
            const DWORD code = ::GetLastError();
            return osFailure(code == ERROR_INVALID_PARAMETER ? ErrorKind::InvalidSetting : ErrorKind::Other,
                             code, "cannot write the port settings");
        }
        return {};
    }

    // "Return what is waiting, else wait up to the constant for the first byte" is the driver's
    // MAXDWORD/MAXDWORD/constant form; with no wait at all it is MAXDWORD/0/0, since all zeros would
    // wait for ever.
    IoResult readSome(std::uint8_t* buf, std::size_t n, std::chrono::milliseconds wait) override {
        IoResult result;
        COMMTIMEOUTS timeouts = applied_;
        const DWORD waitMs = std::min(clampMs(wait), kReadSliceMs);
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = waitMs == 0 ? 0 : MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = waitMs;
        if (Error set = apply(timeouts); !set.ok()) {
            result.error = set;
            return result;
        }
        DWORD got = 0;
        if (!::ReadFile(port_, buf, chunkOf(n), &got, nullptr)) {
            const DWORD code = ::GetLastError();
            result.error = osFailure(kindForIoError(code), code, "cannot read from the port");
        }
        result.count = got;
        return result;
    }

    // The write time-out covers the whole call; 0 would mean no limit, so the shortest is 1 ms.
    IoResult writeSome(const std::uint8_t* buf, std::size_t n, std::chrono::milliseconds wait) override {
        IoResult result;
        COMMTIMEOUTS timeouts = applied_;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = clampMs(wait) == 0 ? 1 : clampMs(wait);
        if (Error set = apply(timeouts); !set.ok()) {
            result.error = set;
            return result;
        }
        DWORD put = 0;
        if (!::WriteFile(port_, buf, chunkOf(n), &put, nullptr)) {
            const DWORD code = ::GetLastError();
            result.error = osFailure(kindForIoError(code), code, "cannot write to the port");
        }
        result.count = put;
        return result;
    }

    Error drain() override {
        if (!::FlushFileBuffers(port_)) {
            const DWORD code = ::GetLastError();
            return osFailure(kindForIoError(code), code, "cannot drain the port");
        }
        return {};
    }

    Error purge() override {
        if (!::PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
            const DWORD code = ::GetLastError();
            return osFailure(kindForIoError(code), code, "cannot purge the port");
        }
        return {};
    }

    Error setModemLine(detail::ModemLine line, bool on) override {
        const bool dtr = line == detail::ModemLine::Dtr;
        const DWORD function = dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
        if (!::EscapeCommFunction(port_, function)) {
            const DWORD code = ::GetLastError();
            const char* what = dtr ? (on ? "set DTR" : "clear DTR") : (on ? "set RTS" : "clear RTS");
            return osFailure(kindForModemError(code), code, what);
        }
        return {};
    }

    Error readCts(bool& on) override {
        DWORD status = 0;
        if (!::GetCommModemStatus(port_, &status)) {
            const DWORD code = ::GetLastError();
            return osFailure(kindForModemError(code), code, "cannot read the modem status");
        }
        on = (status & MS_CTS_ON) != 0;
        return {};
    }

  private:
    // The driver keeps its time-outs; they are rewritten only when a call needs others.
    Error apply(const COMMTIMEOUTS& timeouts) {
        if (haveApplied_ && timeouts.ReadIntervalTimeout == applied_.ReadIntervalTimeout &&
            timeouts.ReadTotalTimeoutMultiplier == applied_.ReadTotalTimeoutMultiplier &&
            timeouts.ReadTotalTimeoutConstant == applied_.ReadTotalTimeoutConstant &&
            timeouts.WriteTotalTimeoutMultiplier == applied_.WriteTotalTimeoutMultiplier &&
            timeouts.WriteTotalTimeoutConstant == applied_.WriteTotalTimeoutConstant) {
            return {};
        }
        COMMTIMEOUTS copy = timeouts;
        if (!::SetCommTimeouts(port_, &copy)) {
            return osFailure(ErrorKind::Other, ::GetLastError(), "cannot set the port's time-outs");
        }
        applied_ = timeouts;
        haveApplied_ = true;
        return {};
    }

    HANDLE port_;
    COMMTIMEOUTS applied_{};
    bool haveApplied_ = false;
};

}  // namespace

namespace detail {

std::unique_ptr<PortBackend> openBackend(const std::string& path, Error& error) {
    HANDLE port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* no sharing */, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        error = osFailure(kindForOpenError(code), code, "cannot open " + path);
        return nullptr;
    }
    auto backend = std::make_unique<Win32Backend>(port);
    // Only a comm device has comm settings: a file or a printer port that opened is no serial line.
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(port, &dcb)) {
        error = osFailure(ErrorKind::NotSerialDevice, ::GetLastError(), path + " is not a serial device");
        return nullptr;
    }
    error = {};
    return backend;
}

// Windows cannot say which program holds a comm port without walking every process's handles.
std::string holdersOf(const std::string&) {
    return "";
}

OpenFailureFacts gatherOpenFailureFacts(const Error& error, int portNumber) {
    OpenFailureFacts facts;
    facts.kind = error.kind;
    facts.reason = error.text;
    facts.port = portNumber & 0xFF;
    facts.device = devicePathForPort(facts.port);
    return facts;
}

}  // namespace detail

std::optional<std::string> devicePathForPort(int portNumber) {
    return defaultDeviceForPort(portNumber & 0xFF);
}

CalendarTime localCalendarTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return CalendarTime{now.wYear, now.wMonth, now.wDay, now.wDayOfWeek, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace serial
