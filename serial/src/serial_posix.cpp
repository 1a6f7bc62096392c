// termios backend. The descriptor stays non-blocking for its whole life: every wait is a poll() with a
// deadline, so neither a silent terminal nor a port that stopped sending can hold a caller past its
// bound. VMIN=1/VTIME=0 make an empty read say EAGAIN, which leaves a read of 0 to mean hang-up.
#include <fcntl.h>
#include <linux/major.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <utility>

#include "read_deadline.h"
#include "serial/serial_device.h"
#include "termios_settings.h"

namespace serial {

namespace {

using detail::Clock;

int fdOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

Error osFailure(ErrorKind kind, int err, const std::string& what) {
    return Error{kind, err, what + ": " + std::system_category().message(err)};
}

ErrorKind kindForOpenErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        // A /dev/ttyS node whose UART is not fitted opens with EIO.
        case EIO:
            return ErrorKind::NoSuchDevice;
        case EACCES:
        case EPERM:
            return ErrorKind::PermissionDenied;
        case EBUSY:
            return ErrorKind::InUse;
        case ENOTTY:
            return ErrorKind::NotSerialDevice;
        default:
            return ErrorKind::Other;
    }
}

ErrorKind kindForIoErrno(int err) {
    return (err == EIO || err == ENXIO || err == ENODEV || err == EPIPE) ? ErrorKind::HungUp
                                                                         : ErrorKind::Other;
}

// A pseudo-terminal is known by its device number, whatever name or link led to it: the kernel's
// numbers for pty slaves are fixed (majors 136-143 under /dev/pts, 3 for the old BSD ptys). Anything
// not known as a pty is held to every setting.
detail::LineKind lineKindOf(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        return detail::LineKind::SerialPort;
    }
    const unsigned int deviceMajor = major(info.st_rdev);
    const bool unix98 = deviceMajor >= UNIX98_PTY_SLAVE_MAJOR &&
                        deviceMajor < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT;
    return unix98 || deviceMajor == PTY_SLAVE_MAJOR ? detail::LineKind::PseudoTerminal
                                                    : detail::LineKind::SerialPort;
}

Error writeSettings(int fd, const termios& settings) {
    while (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        if (errno != EINTR) {
            return osFailure(ErrorKind::Other, errno, "cannot write the port settings");
        }
    }
    return {};
}

Error applyConfig(int fd, const LineConfig& config) {
    termios current{};
    if (::tcgetattr(fd, &current) != 0) {
        const int err = errno;
        return osFailure(err == ENOTTY ? ErrorKind::NotSerialDevice : ErrorKind::Other, err,
                         "cannot read the port settings");
    }
    const std::optional<termios> wanted = detail::makeTermios(current, config);
    if (!wanted) {
        return Error{ErrorKind::InvalidSetting, 0, "cannot set " + std::to_string(config.baud) + " baud"};
    }
    // glibc answers EINVAL when the port took none of the changes asked for. A pty that already
    // holds the same reduced settings (no parity bit) does exactly that on a second open with the
    // same parity, so what the port now holds decides, below, as it does for a partial success.
    if (Error written = writeSettings(fd, *wanted); !written.ok() && written.osError != EINVAL) {
        return written;
    }
    termios actual{};
    if (::tcgetattr(fd, &actual) != 0) {
        return osFailure(ErrorKind::Other, errno, "cannot read the port settings back");
    }
    const std::string missing = detail::settingsNotTaken(*wanted, actual, lineKindOf(fd));
    if (!missing.empty()) {
        (void)writeSettings(fd, current);  // the settings in force before, as far as the port takes them
        return Error{ErrorKind::InvalidSetting, 0,
                     "the port does not take these line settings (" + missing + ")"};
    }
    return {};
}

// USB adapters otherwise hold each received byte back for up to 16 ms, which stretches every
// one-byte acknowledgement of a download. Ptys and many drivers have no such mode: that is fine.
void requestLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) == 0 && (info.flags & ASYNC_LOW_LATENCY) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        (void)::ioctl(fd, TIOCSSERIAL, &info);  // refused by some drivers; reads are correct without it
    }
}

Error modemControl(int fd, unsigned long request, int* bits, const char* what) {
    if (::ioctl(fd, request, bits) == 0) {
        return {};
    }
    const int err = errno;
    if (err == ENOTTY || err == EINVAL) {
        return Error{ErrorKind::Unsupported, err,
                     std::string("the device has no modem lines (") + what + ")"};
    }
    return osFailure(kindForIoErrno(err), err, what);
}

// Waits for `events` on fd until the deadline; false when the time is up. Errors other than an
// interrupted wait are returned through `error`.
bool waitFor(int fd, short events, std::chrono::milliseconds wait, short& revents, Error& error) {
    pollfd pfd{fd, events, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(wait.count()));
    if (ready < 0) {
        if (errno != EINTR) {
            error = osFailure(ErrorKind::Other, errno, "cannot wait on the port");
        }
        revents = 0;
        return false;
    }
    revents = pfd.revents;
    if ((revents & POLLNVAL) != 0) {
        error = Error{ErrorKind::Other, EBADF, "the port's descriptor is no longer valid"};
    }
    return ready > 0;
}

// poll() takes an int of milliseconds; a longer wait is done in several polls.
std::chrono::milliseconds pollSlice(std::chrono::milliseconds wait) {
    constexpr std::chrono::milliseconds kLongestPoll{1 << 30};
    return std::min(wait, kLongestPoll);
}

}  // namespace

std::optional<std::string> devicePathForPort(int portNumber) {
    const int port = portNumber & 0xFF;
    const std::string variable = "COM" + std::to_string(port);
    if (const char* named = std::getenv(variable.c_str()); named != nullptr && *named != '\0') {
        return std::string(named);
    }
    if (port == 0) {
        return std::nullopt;
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

CalendarTime localCalendarTime() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return {};
    }
    return CalendarTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_wday,
                        local.tm_hour,        local.tm_min,     local.tm_sec};
}

Error SerialDevice::openPath(const std::string& path, const LineConfig& config) {
    close();
    if (Error bad = detail::checkConfig(config); !bad.ok()) {
        return bad;
    }
    // O_NONBLOCK also keeps open() from waiting for carrier detect on a modem-controlled line.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return osFailure(kindForOpenErrno(err), err, "cannot open " + path);
    }
    auto fail = [fd](Error error) {
        ::close(fd);
        return error;
    };
    if (::isatty(fd) == 0) {
        return fail(Error{ErrorKind::NotSerialDevice, ENOTTY, path + " is not a serial device"});
    }
    // The flock excludes every cooperating opener, root included; TIOCEXCL also stops programs that do
    // not lock (except root's).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            return fail(Error{ErrorKind::InUse, err, path + " is in use by another program"});
        }
        return fail(osFailure(ErrorKind::Other, err, "cannot lock " + path));
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return fail(osFailure(ErrorKind::Other, errno, "cannot open " + path + " exclusively"));
    }
    if (Error configured = applyConfig(fd, config); !configured.ok()) {
        (void)::ioctl(fd, TIOCNXCL);
        return fail(configured);
    }
    requestLowLatency(fd);
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)modemControl(fd, TIOCMBIS, &lines, "raise DTR and RTS");  // ptys have no lines to raise
    handle_ = fd;
    path_ = path;
    config_ = config;
    return {};
}

void SerialDevice::close() {
    if (handle_ == kClosed) {
        return;
    }
    const int fd = fdOf(std::exchange(handle_, kClosed));
    // The exclusive flag belongs to the tty, not to this descriptor: clear it so the next opener
    // is not refused while someone else (a pty's other side) still holds the tty.
    (void)::ioctl(fd, TIOCNXCL);
    (void)::close(fd);  // the descriptor is gone whatever close reports
    path_.clear();
}

IoResult SerialDevice::read(std::uint8_t* buf, std::size_t n, const ReadTimeouts& timeouts) {
    IoResult result;
    if (!isOpen()) {
        result.error = Error{ErrorKind::NotOpen, 0, "the port is not open"};
        return result;
    }
    const int fd = fdOf(handle_);
    detail::ReadDeadline deadline(timeouts, n, Clock::now());
    bool hangupSeen = false;
    while (result.count < n) {
        const ssize_t got = ::read(fd, buf + result.count, n - result.count);
        if (got > 0) {
            result.count += static_cast<std::size_t>(got);
            const Clock::time_point now = Clock::now();
            deadline.onBytes(now);
            if (deadline.remaining(now).count() == 0) {
                break;  // a peer that never pauses still cannot hold the read past its total
            }
            continue;
        }
        if (got == 0) {
            result.error = Error{ErrorKind::HungUp, 0, "the line hung up"};
            return result;
        }
        const int err = errno;
        if (err == EINTR) {
            continue;
        }
        if (err != EAGAIN && err != EWOULDBLOCK) {
            result.error = osFailure(kindForIoErrno(err), err, "cannot read from the port");
            return result;
        }
        if (hangupSeen) {
            result.error = Error{ErrorKind::HungUp, 0, "the line hung up"};
            return result;
        }
        const std::chrono::milliseconds wait = deadline.remaining(Clock::now());
        if (wait.count() == 0) {
            break;
        }
        short revents = 0;
        if (waitFor(fd, POLLIN, pollSlice(wait), revents, result.error) && result.error.ok()) {
            hangupSeen = (revents & (POLLHUP | POLLERR)) != 0 && (revents & POLLIN) == 0;
        }
        if (!result.error.ok()) {
            return result;
        }
    }
    return result;
}

IoResult SerialDevice::write(const std::uint8_t* buf, std::size_t n, std::chrono::milliseconds bound) {
    IoResult result;
    if (!isOpen()) {
        result.error = Error{ErrorKind::NotOpen, 0, "the port is not open"};
        return result;
    }
    const int fd = fdOf(handle_);
    const Clock::time_point deadline = Clock::now() + bound;
    while (result.count < n) {
        const ssize_t put = ::write(fd, buf + result.count, n - result.count);
        if (put > 0) {
            result.count += static_cast<std::size_t>(put);
            continue;
        }
        const int err = put < 0 ? errno : EAGAIN;
        if (err == EINTR) {
            continue;
        }
        if (err != EAGAIN && err != EWOULDBLOCK) {
            result.error = osFailure(kindForIoErrno(err), err, "cannot write to the port");
            return result;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            result.error =
                Error{ErrorKind::TimedOut, 0,
                      "the port took " + std::to_string(result.count) + " of " + std::to_string(n) +
                          " bytes within " + std::to_string(bound.count()) + " ms"};
            return result;
        }
        short revents = 0;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (waitFor(fd, POLLOUT, pollSlice(wait), revents, result.error) && result.error.ok() &&
            (revents & (POLLHUP | POLLERR)) != 0 && (revents & POLLOUT) == 0) {
            result.error = Error{ErrorKind::HungUp, 0, "the line hung up"};
        }
        if (!result.error.ok()) {
            return result;
        }
    }
    return result;
}

Error SerialDevice::drain() {
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    // Without flow control the transmitter always empties, so this wait is bounded by the bytes
    // queued and the baud rate.
    while (::tcdrain(fdOf(handle_)) != 0) {
        if (errno != EINTR) {
            return osFailure(kindForIoErrno(errno), errno, "cannot drain the port");
        }
    }
    return {};
}

Error SerialDevice::purge() {
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    if (::tcflush(fdOf(handle_), TCIOFLUSH) != 0) {
        return osFailure(kindForIoErrno(errno), errno, "cannot purge the port");
    }
    return {};
}

Error SerialDevice::setLine(const LineConfig& config) {
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    if (Error bad = detail::checkConfig(config); !bad.ok()) {
        return bad;
    }
    if (Error applied = applyConfig(fdOf(handle_), config); !applied.ok()) {
        return applied;
    }
    config_ = config;
    return {};
}

Error SerialDevice::setDtr(bool on) {
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    int bits = TIOCM_DTR;
    return modemControl(fdOf(handle_), on ? TIOCMBIS : TIOCMBIC, &bits, on ? "set DTR" : "clear DTR");
}

Error SerialDevice::setRts(bool on) {
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    int bits = TIOCM_RTS;
    return modemControl(fdOf(handle_), on ? TIOCMBIS : TIOCMBIC, &bits, on ? "set RTS" : "clear RTS");
}

Error SerialDevice::readCts(bool& on) {
    on = true;
    if (!isOpen()) {
        return Error{ErrorKind::NotOpen, 0, "the port is not open"};
    }
    int status = 0;
    Error error = modemControl(fdOf(handle_), TIOCMGET, &status, "read the modem status");
    if (error.ok()) {
        on = (status & TIOCM_CTS) != 0;
    }
    return error;
}

}  // namespace serial
