// termios backend. The descriptor stays non-blocking for its whole life: every wait is a poll() with a
// bound, so neither a silent terminal nor a port that stopped sending can hold a caller. VMIN=1/VTIME=0
// make an empty read say EAGAIN, which leaves a read of 0 to mean hang-up.
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
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "low_latency_posix.h"
#include "open_failure.h"
#include "port_backend.h"
#include "serial/port_map.h"
#include "termios_settings.h"

namespace serial {

namespace {

Error osFailure(ErrorKind kind, int err, const std::string& what) {
    return Error{kind, err, what + ": " + std::system_category().message(err)};
}

ErrorKind kindForOpenErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
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
        case EISDIR:
            return ErrorKind::NotSerialDevice;
        default:
            return ErrorKind::Other;
    }
}

ErrorKind kindForIoErrno(int err) {
    return (err == EIO || err == ENXIO || err == ENODEV || err == EPIPE) ? ErrorKind::HungUp
                                                                         : ErrorKind::Other;
}

// Names the holder where the system can tell, so the person can close that program.
Error inUse(const std::string& path, int err) {
    const std::string holders = detail::holdersOf(path);
    return Error{ErrorKind::InUse, err,
                 path + " is in use by " + (holders.empty() ? "another program" : holders)};
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

// One poll for `events`, at most `wait` long (poll takes an int of milliseconds; the caller asks again
// for the rest). The events seen; 0 when the time ran out or a signal cut the wait short.
short waitFor(int fd, short events, std::chrono::milliseconds wait, Error& error) {
    constexpr std::chrono::milliseconds kLongestPoll{1 << 30};
    pollfd pfd{fd, events, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(std::min(wait, kLongestPoll).count()));
    if (ready < 0) {
        if (errno != EINTR) {
            error = osFailure(ErrorKind::Other, errno, "cannot wait on the port");
        }
        return 0;
    }
    if ((pfd.revents & POLLNVAL) != 0) {
        error = Error{ErrorKind::Other, EBADF, "the port's descriptor is no longer valid"};
    }
    return pfd.revents;
}

bool hungUp(short revents, short wanted) {
    return (revents & (POLLHUP | POLLERR)) != 0 && (revents & wanted) == 0;
}

class PosixBackend final : public detail::PortBackend {
  public:
    explicit PosixBackend(int fd) : fd_(fd) {}
    PosixBackend(const PosixBackend&) = delete;
    PosixBackend& operator=(const PosixBackend&) = delete;

    ~PosixBackend() override {
        // The exclusive flag belongs to the tty, not to this descriptor: clear it so the next opener
        // is not refused while someone else (a pty's other side) still holds the tty.
        (void)::ioctl(fd_, TIOCNXCL);
        (void)::close(fd_);  // the descriptor is gone whatever close reports
    }

    Error configure(const LineConfig& config) override {
        termios current{};
        if (::tcgetattr(fd_, &current) != 0) {
            const int err = errno;
            return osFailure(err == ENOTTY ? ErrorKind::NotSerialDevice : ErrorKind::Other, err,
                             "cannot read the port settings");
        }
        const std::optional<termios> wanted = detail::makeTermios(current, config);
        if (!wanted) {
            return Error{ErrorKind::InvalidSetting, 0,
                         "unsupported baud rate " + std::to_string(config.baud)};
        }
        // glibc answers EINVAL when the port took none of the changes asked for. A pty that already
        // holds the same reduced settings (no parity bit) does exactly that on a second open with the
        // same parity, so what the port now holds decides, below, as it does for a partial success.
        if (Error written = writeSettings(fd_, *wanted); !written.ok() && written.osError != EINVAL) {
            return written;
        }
        termios actual{};
        if (::tcgetattr(fd_, &actual) != 0) {
            return osFailure(ErrorKind::Other, errno, "cannot read the port settings back");
        }
        const std::string missing = detail::settingsNotTaken(*wanted, actual, lineKindOf(fd_));
        if (!missing.empty()) {
            (void)writeSettings(fd_, current);  // the settings in force before, as far as the port takes them
            return Error{ErrorKind::InvalidSetting, 0,
                         "the port does not take the " + missing + " asked for"};
        }
        return {};
    }

    IoResult readSome(std::uint8_t* buf, std::size_t n, std::chrono::milliseconds wait) override {
        IoResult result;
        bool waited = false;
        bool hangupSeen = false;
        for (;;) {
            const ssize_t got = ::read(fd_, buf, n);
            if (got > 0) {
                result.count = static_cast<std::size_t>(got);
                return result;
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
            if (waited || wait.count() == 0) {
                return result;
            }
            waited = true;
            const short revents = waitFor(fd_, POLLIN, wait, result.error);
            if (!result.error.ok()) {
                return result;
            }
            hangupSeen = hungUp(revents, POLLIN);
        }
    }

    IoResult writeSome(const std::uint8_t* buf, std::size_t n, std::chrono::milliseconds wait) override {
        IoResult result;
        bool waited = false;
        for (;;) {
            const ssize_t put = ::write(fd_, buf, n);
            if (put > 0) {
                result.count = static_cast<std::size_t>(put);
                return result;
            }
            const int err = put < 0 ? errno : EAGAIN;
            if (err == EINTR) {
                continue;
            }
            if (err != EAGAIN && err != EWOULDBLOCK) {
                result.error = osFailure(kindForIoErrno(err), err, "cannot write to the port");
                return result;
            }
            if (waited || wait.count() == 0) {
                return result;
            }
            waited = true;
            const short revents = waitFor(fd_, POLLOUT, wait, result.error);
            if (result.error.ok() && hungUp(revents, POLLOUT)) {
                result.error = Error{ErrorKind::HungUp, 0, "the line hung up"};
            }
            if (!result.error.ok()) {
                return result;
            }
        }
    }

    Error drain() override {
        // Without flow control the transmitter always empties, so this wait is bounded by the bytes
        // queued and the baud rate.
        while (::tcdrain(fd_) != 0) {
            if (errno != EINTR) {
                return osFailure(kindForIoErrno(errno), errno, "cannot drain the port");
            }
        }
        return {};
    }

    Error purge() override {
        if (::tcflush(fd_, TCIOFLUSH) != 0) {
            return osFailure(kindForIoErrno(errno), errno, "cannot purge the port");
        }
        return {};
    }

    Error setModemLine(detail::ModemLine line, bool on) override {
        const bool dtr = line == detail::ModemLine::Dtr;
        int bits = dtr ? TIOCM_DTR : TIOCM_RTS;
        const char* what = dtr ? (on ? "set DTR" : "clear DTR") : (on ? "set RTS" : "clear RTS");
        return modemControl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits, what);
    }

    Error readCts(bool& on) override {
        int status = 0;
        Error error = modemControl(fd_, TIOCMGET, &status, "read the modem status");
        if (error.ok()) {
            on = (status & TIOCM_CTS) != 0;
        }
        return error;
    }

  private:
    int fd_;
};

}  // namespace

namespace detail {

SerialFlagsAccess driverSerialFlags() {
    return {[](int fd, serial_struct& info) { return ::ioctl(fd, TIOCGSERIAL, &info); },
            [](int fd, const serial_struct& info) { return ::ioctl(fd, TIOCSSERIAL, &info); }};
}

LowLatency requestLowLatency(int fd, const SerialFlagsAccess& access) {
    serial_struct info{};
    if (access.get(fd, info) != 0) {
        return LowLatency::NotOffered;
    }
    if ((info.flags & ASYNC_LOW_LATENCY) != 0) {
        return LowLatency::AlreadyOn;
    }
    info.flags |= ASYNC_LOW_LATENCY;
    return access.set(fd, info) == 0 ? LowLatency::TurnedOn : LowLatency::Refused;
}

std::unique_ptr<PortBackend> openBackend(const std::string& path, Error& error) {
    // O_NONBLOCK also keeps open() from waiting for carrier detect on a modem-controlled line.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        error =
            err == EBUSY ? inUse(path, err) : osFailure(kindForOpenErrno(err), err, "cannot open " + path);
        return nullptr;
    }
    // Until it holds the port exclusively the descriptor is only closed: the tty's exclusive flag may
    // be another program's.
    const auto fail = [fd, &error](Error why) -> std::unique_ptr<PortBackend> {
        (void)::close(fd);
        error = std::move(why);
        return nullptr;
    };
    if (::isatty(fd) == 0) {
        return fail(Error{ErrorKind::NotSerialDevice, ENOTTY, path + " is not a serial device"});
    }
    // The flock excludes every cooperating opener, root included; TIOCEXCL also stops programs that do
    // not lock (except root's).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            (void)::close(fd);  // before the holder is looked for, so only the holder is found
            error = inUse(path, err);
            return nullptr;
        }
        return fail(osFailure(ErrorKind::Other, err, "cannot lock " + path));
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return fail(osFailure(ErrorKind::Other, errno, "cannot open " + path + " exclusively"));
    }
    auto port = std::make_unique<PosixBackend>(fd);
    (void)requestLowLatency(fd);  // whatever the driver says, the port works
    error = {};
    return port;
}

}  // namespace detail

std::optional<std::string> devicePathForPort(int portNumber) {
    const int port = portNumber & 0xFF;
    const std::string variable = "COM" + std::to_string(port);
    if (const char* named = std::getenv(variable.c_str()); named != nullptr && *named != '\0') {
        return std::string(named);
    }
    if (std::optional<std::string> stored = storedDeviceForPort(port)) {
        return stored;
    }
    if (port == 0) {
        return std::nullopt;
    }
    return defaultDeviceForPort(port);
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

}  // namespace serial
