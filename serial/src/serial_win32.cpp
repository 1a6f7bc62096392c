// Win32 comm backend. The port is opened for ordinary (not overlapped) access, so every read and
// write ends by the comm time-outs written to the driver; they are set from each call's own time-outs.
#include <windows.h>

#include <string>
#include <utility>

#include "serial/serial_device.h"

namespace serial {

namespace {

constexpr BYTE kEventCharDle = 0x10;
// MAXDWORD has special meanings in COMMTIMEOUTS; a time-out taken from the caller stays below it.
constexpr DWORD kLongestTimeoutMs = MAXDWORD - 1;

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

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

Error checkConfig(const LineConfig& config) {
    if (config.baud == 0) {
        return Error{ErrorKind::InvalidSetting, 0, "unsupported baud rate 0"};
    }
    if (config.dataBits < 5 || config.dataBits > 8) {
        return Error{ErrorKind::InvalidSetting, 0,
                     "unsupported number of data bits " + std::to_string(config.dataBits)};
    }
    if (config.parity > Parity::Space || config.stopBits > StopBits::Two) {
        return Error{ErrorKind::InvalidSetting, 0, "unknown parity or stop-bit setting"};
    }
    return {};
}

// Every other field keeps the value the port had. All flow control is off: XON/XOFF would swallow the
// wake-up code bytes 0x11 and 0x13 and stall on them inside binary frames.
Error applyConfig(HANDLE port, const LineConfig& config) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(port, &dcb)) {
        return osFailure(ErrorKind::NotSerialDevice, ::GetLastError(), "cannot read the port settings");
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
    if (!::SetCommState(port, &dcb)) {
        const DWORD code = ::GetLastError();
        return osFailure(code == ERROR_INVALID_PARAMETER ? ErrorKind::InvalidSetting : ErrorKind::Other, code,
                         "cannot write the port settings");
    }
    return {};
}

DWORD clampMs(std::uint64_t ms) {
    return ms > kLongestTimeoutMs ? kLongestTimeoutMs : static_cast<DWORD>(ms);
}

// Our read contract on the driver's time-outs: interval and totals map one to one; a total of 0
// ("return what is waiting") is the driver's MAXDWORD/0/0 form, because all zeros would wait for ever.
COMMTIMEOUTS commTimeouts(const ReadTimeouts& read, std::uint32_t writeBoundMs) {
    COMMTIMEOUTS timeouts{};
    if (read.totalConstantMs == 0 && read.totalPerByteMs == 0) {
        timeouts.ReadIntervalTimeout = MAXDWORD;
    } else {
        timeouts.ReadIntervalTimeout = clampMs(read.intervalMs);
        timeouts.ReadTotalTimeoutMultiplier = clampMs(read.totalPerByteMs);
        timeouts.ReadTotalTimeoutConstant = clampMs(read.totalConstantMs);
    }
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = writeBoundMs == 0 ? 1 : clampMs(writeBoundMs);  // 0 = no limit
    return timeouts;
}

bool sameTimeouts(const ReadTimeouts& a, const ReadTimeouts& b) {
    return a.intervalMs == b.intervalMs && a.totalConstantMs == b.totalConstantMs &&
           a.totalPerByteMs == b.totalPerByteMs;
}

// The ports' usual time-outs until a call brings its own.
constexpr ReadTimeouts kOpenReadTimeouts{100, 100, 100};
constexpr std::uint32_t kOpenWriteBoundMs = 1000;

}  // namespace

std::optional<std::string> devicePathForPort(int portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber & 0xFF);
}

CalendarTime localCalendarTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return CalendarTime{now.wYear, now.wMonth, now.wDay, now.wDayOfWeek, now.wHour, now.wMinute, now.wSecond};
}

Error SerialDevice::openPath(const std::string& path, const LineConfig& config) {
    close();
    if (Error bad = checkConfig(config); !bad.ok()) {
        return bad;
    }
    HANDLE port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* no sharing */, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        return osFailure(kindForOpenError(code), code, "cannot open " + path);
    }
    if (Error configured = applyConfig(port, config); !configured.ok()) {
        ::CloseHandle(port);
        return configured;
    }
    COMMTIMEOUTS timeouts = commTimeouts(kOpenReadTimeouts, kOpenWriteBoundMs);
    if (!::SetCommTimeouts(port, &timeouts)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(port);
        return osFailure(ErrorKind::Other, code, "cannot set the port's time-outs");
    }
    handle_ = reinterpret_cast<std::intptr_t>(port);
    path_ = path;
    config_ = config;
    appliedReadTimeouts_ = kOpenReadTimeouts;
    appliedWriteBoundMs_ = kOpenWriteBoundMs;
    timeoutsApplied_ = true;
    return {};
}

void SerialDevice::close() {
    if (handle_ == kClosed) {
        return;
    }
    (void)::CloseHandle(handleOf(std::exchange(handle_, kClosed)));  // the handle is gone either way
    path_.clear();
    timeoutsApplied_ = false;
}

IoResult SerialDevice::read(std::uint8_t* buf, std::size_t n, const ReadTimeouts& timeouts) {
    IoResult result;
    if (!isOpen()) {
        result.error = Error{ErrorKind::NotOpen, 0, "the port is not open"};
        return result;
    }
    if (n == 0) {
        return result;
    }
    HANDLE port = handleOf(handle_);
    if (!timeoutsApplied_ || !sameTimeouts(appliedReadTimeouts_, timeouts)) {
        COMMTIMEOUTS comm = commTimeouts(timeouts, appliedWriteBoundMs_);
        if (!::SetCommTimeouts(port, &comm)) {
            result.error = osFailure(ErrorKind::Other, ::GetLastError(), "cannot set the read time-outs");
            return result;
        }
        appliedReadTimeouts_ = timeouts;
        timeoutsApplied_ = true;
    }
    DWORD got = 0;
    const DWORD wanted = n > MAXDWORD ? MAXDWORD : static_cast<DWORD>(n);
    if (!::ReadFile(port, buf, wanted, &got, nullptr)) {
        const DWORD code = ::GetLastError();
        result.error = osFailure(kindForIoError(code), code, "cannot read from the port");
    }
    result.count = got;
    return result;
}

IoResult SerialDevice::write(const std::uint8_t* buf, std::size_t n, std::chrono::milliseconds bound) {
    IoResult result;
    if (!isOpen()) {
        result.error = Error{ErrorKind::NotOpen, 0, "the port is not open"};
        return result;
    }
    if (n == 0) {
        return result;
    }
    HANDLE port = handleOf(handle_);
    const DWORD boundMs = bound.count() <= 0 ? 1 : clampMs(static_cast<std::uint64_t>(bound.count()));
    if (!timeoutsApplied_ || appliedWriteBoundMs_ != boundMs) {
        COMMTIMEOUTS comm = commTimeouts(appliedReadTimeouts_, boundMs);
        if (!::SetCommTimeouts(port, &comm)) {
            result.error = osFailure(ErrorKind::Other, ::GetLastError(), "cannot set the write time-out");
            return result;
        }
        appliedWriteBoundMs_ = boundMs;
        timeoutsApplied_ = true;
    }
    DWORD put = 0;
    const DWORD wanted = n > MAXDWORD ? MAXDWORD : static_cast<DWORD>(n);
    if (!::WriteFile(port, buf, wanted, &put, nullptr)) {
        const DWORD code = ::GetLastError();
        result.count = put;
        result.error = osFailure(kindForIoError(code), code, "cannot write to the port");
        return result;
    }
    result.count = put;
    if (put < n) {
        result.error = Error{ErrorKind::TimedOut, 0,
                             "the port took " + std::to_string(put) + " of " + std::to_string(n) +
                                 " bytes within " + std::to_string(boundMs) + " ms"};
    }
    return result;
}

Error SerialDevice::drain() {
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    if (!::FlushFileBuffers(handleOf(handle_))) {
        const DWORD code = ::GetLastError();
        return osFailure(kindForIoError(code), code, "cannot drain the port");
    }
    return {};
}

Error SerialDevice::purge() {
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    if (!::PurgeComm(handleOf(handle_), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        const DWORD code = ::GetLastError();
        return osFailure(kindForIoError(code), code, "cannot purge the port");
    }
    return {};
}

Error SerialDevice::setLine(const LineConfig& config) {
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    if (Error bad = checkConfig(config); !bad.ok()) {
        return bad;
    }
    if (Error applied = applyConfig(handleOf(handle_), config); !applied.ok()) {
        return applied;
    }
    config_ = config;
    return {};
}

namespace {

Error escape(std::intptr_t handle, DWORD function, const char* what) {
    if (handle == -1) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    if (!::EscapeCommFunction(handleOf(handle), function)) {
        const DWORD code = ::GetLastError();
        return osFailure(code == ERROR_INVALID_FUNCTION ? ErrorKind::Unsupported : kindForIoError(code), code,
                         what);
    }
    return {};
}

}  // namespace

Error SerialDevice::setDtr(bool on) {
    return escape(handle_, on ? SETDTR : CLRDTR, on ? "set DTR" : "clear DTR");
}

Error SerialDevice::setRts(bool on) {
    return escape(handle_, on ? SETRTS : CLRRTS, on ? "set RTS" : "clear RTS");
}

Error SerialDevice::readCts(bool& on) {
    on = true;
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    DWORD status = 0;
    if (!::GetCommModemStatus(handleOf(handle_), &status)) {
        const DWORD code = ::GetLastError();
        return osFailure(code == ERROR_INVALID_FUNCTION ? ErrorKind::Unsupported : kindForIoError(code), code,
                         "cannot read the modem status");
    }
    on = (status & MS_CTS_ON) != 0;
    return {};
}

}  // namespace serial
