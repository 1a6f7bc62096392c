#include "hhtsim/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace hhtsim {

namespace {

// A host that stops reading lets the device's queue fill up; past this the terminal gives up the write.
constexpr std::chrono::milliseconds kWriteStall{2000};
constexpr std::chrono::milliseconds kDrainLimit{2000};
// A pty holds a few KiB; a host that writes on and on cannot keep a close from being noticed.
constexpr int kMaxDrainReads = 64;
// The device gives no event when its queue empties, so the drain looks again after this pause.
constexpr std::chrono::milliseconds kDrainCheck{10};

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// A long sleep ends later than a short one (the processor has gone idle more deeply), so the last
// stretch before a deadline is slept on its own.
constexpr std::chrono::nanoseconds kFinalStretch = std::chrono::microseconds(150);

// `punctual`: the final stretch is not slept at all but polled for (a zero wait).
timespec sleepStep(std::chrono::nanoseconds left, bool punctual) {
    std::chrono::nanoseconds step = left;
    if (left > 2 * kFinalStretch || (punctual && left > kFinalStretch)) {
        step = left - kFinalStretch;
    } else if (punctual) {
        step = std::chrono::nanoseconds::zero();
    }
    return timespec{static_cast<time_t>(step.count() / 1000000000),
                    static_cast<long>(step.count() % 1000000000)};
}

// A polling loop lets the kernel's own work on this processor (the pty's delivery to the host among
// it) go first.
void yieldIfPolling(const timespec& wait) {
    if (wait.tv_sec == 0 && wait.tv_nsec == 0) {
        (void)::sched_yield();
    }
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    // Round up so the wait never ends before the deadline and never spins at 0.
    return left < 0 ? 0 : static_cast<int>(left) + 1;
}

struct SpeedEntry {
    speed_t code;
    int baud;
};
constexpr SpeedEntry kSpeeds[] = {{B300, 300},      {B600, 600},       {B1200, 1200},     {B2400, 2400},
                                  {B4800, 4800},    {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
                                  {B57600, 57600},  {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
                                  {B921600, 921600}};

}  // namespace

std::variant<std::unique_ptr<PtyLine>, std::string> PtyLine::open(int stopFd, EventLog& log) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        return errnoText("cannot open a pseudo-terminal");
    }
    auto fail = [&](const char* what, int slave = -1) {
        std::string text = errnoText(what);
        if (slave >= 0) {
            ::close(slave);
        }
        ::close(master);
        return text;
    };
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        return fail("cannot unlock the pseudo-terminal");
    }
    const char* name = ptsname(master);
    if (!name) {
        return fail("cannot name the pseudo-terminal");
    }
    std::string path = name;
    (void)fcntl(master, F_SETFD, FD_CLOEXEC);
    if (fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        return fail("cannot set up the device");
    }

    int slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        return fail("cannot open the device");
    }
    // Raw from the start: until the host configures its end, no echo, no CR/LF translation and no line
    // editing may touch the bytes.
    termios settings{};
    if (tcgetattr(slave, &settings) != 0) {
        return fail("cannot read the device settings", slave);
    }
    cfmakeraw(&settings);
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    if (tcsetattr(slave, TCSANOW, &settings) != 0) {
        return fail("cannot set the device to raw mode", slave);
    }

    int watch = -1;
#ifdef __linux__
    // Set up after our own open so only the host's opens and closes are counted.
    watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0 &&
        inotify_add_watch(watch, path.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(watch);
        watch = -1;
    }
#endif
    if (watch < 0) {
        log.note("HOST-WATCH unavailable: host opens and closes are not noticed");
    }
    return std::unique_ptr<PtyLine>(new PtyLine(master, slave, watch, stopFd, std::move(path), log));
}

PtyLine::PtyLine(int master, int slave, int watch, int stopFd, std::string path, EventLog& log)
    : master_(master), slave_(slave), watch_(watch), stopFd_(stopFd), path_(std::move(path)), log_(log) {}

PtyLine::~PtyLine() {
    closeAll();
}

void PtyLine::closeAll() {
    for (int* fd : {&master_, &slave_, &watch_}) {
        if (*fd >= 0) {
            ::close(*fd);
        }
        *fd = -1;
    }
}

bool PtyLine::handleWatchEvents() {
    bool closeSeen = false;
    // Everything the host wrote before its close can be read now: a read of the master that finds
    // nothing first takes in what is still on its way through the pty. Should the events below say the
    // host is gone, all of it came before the close, since a host that opened again in the meantime
    // would show that open in the same batch. Bytes read after the batch may belong to the next open.
    for (int reads = 0; reads < kMaxDrainReads && readMaster() > 0; ++reads) {
    }
#ifdef __linux__
    // Events arrive late relative to the bytes: by the time a batch is read the host may have closed and
    // opened again. Only the count after the whole batch says whether it is gone.
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = ::read(watch_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        for (char* p = buffer; p < buffer + n;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            if (event->mask & IN_OPEN) {
                if (hostOpens_++ == 0) {
                    log_.note("HOST OPEN");
                }
            }
            if ((event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && hostOpens_ > 0 && --hostOpens_ == 0) {
                log_.note("HOST CLOSE");
                closeSeen = true;
            }
            p += sizeof(inotify_event) + event->len;
        }
    }
#endif
    if (!closeSeen || hostOpens_ > 0) {
        return false;
    }
    if (!bytesBeforeClose_) {
        bytesBeforeClose_ = pending_.size();
    }
    // Like a real port, bytes the host never read do not wait for its next open, and an exclusive open
    // ends with the close: our own descriptor keeps the device alive, so the exclusive flag would
    // otherwise outlive the host and refuse its next open.
    (void)tcflush(slave_, TCIFLUSH);
    (void)ioctl(slave_, TIOCNXCL);
    return true;
}

int PtyLine::readMaster() {
    std::uint8_t buffer[512];
    ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
        const WireClock::time_point at = sleptUntil_ ? std::min(now(), *sleptUntil_) : now();
        for (ssize_t i = 0; i < n; ++i) {
            pending_.push_back({buffer[i], at});
        }
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return -1;
    }
    return n < 0 ? 0 : static_cast<int>(n);
}

void PtyLine::takeSleptBytes() {
    if (sleptUntil_ && master_ >= 0) {
        (void)readMaster();
    }
    sleptUntil_.reset();
}

ReadResult PtyLine::read(std::optional<std::chrono::milliseconds> timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout.value_or(std::chrono::milliseconds(0));
    for (;;) {
        // Bytes already taken in come first, those the host wrote before a close ahead of the close;
        // those still in the device came after them, so they can wait.
        if (bytesBeforeClose_ == 0u) {
            bytesBeforeClose_.reset();
            return {ReadStatus::HostClosed};
        }
        if (pending_.empty()) {
            takeSleptBytes();
        }
        if (!pending_.empty()) {
            ReadResult result{ReadStatus::Byte, pending_.front().byte, pending_.front().arrivedAt};
            pending_.pop_front();
            if (bytesBeforeClose_) {
                --*bytesBeforeClose_;
            }
            return result;
        }
        if (master_ < 0) {
            return {ReadStatus::HungUp};
        }
        pollfd fds[3] = {{stopFd_, POLLIN, 0}, {master_, POLLIN, 0}, {watch_, POLLIN, 0}};
        int count = watch_ >= 0 ? 3 : 2;
        int rc = ::poll(fds, static_cast<nfds_t>(count), timeout ? remainingMs(deadline) : -1);
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc < 0) {
            return {ReadStatus::HungUp};
        }
        if (fds[0].revents) {
            return {ReadStatus::Stopped};
        }
        if (count == 3 && fds[2].revents) {
            // Before the master: the events decide which of its bytes came before a close.
            (void)handleWatchEvents();
        }
        if (fds[1].revents & POLLIN) {
            if (readMaster() < 0) {
                return {ReadStatus::HungUp};
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return {ReadStatus::HungUp};
        }
        const bool somethingToGive = !pending_.empty() || bytesBeforeClose_.has_value();
        if (rc == 0 || (timeout && std::chrono::steady_clock::now() >= deadline && !somethingToGive)) {
            return {ReadStatus::Timeout};
        }
    }
}

bool PtyLine::write(std::span<const std::uint8_t> bytes) {
    if (master_ < 0) {
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + kWriteStall;
    while (!bytes.empty()) {
        ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {master_, POLLOUT, 0}};
        int rc = ::poll(fds, 2, remainingMs(deadline));
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            log_.note("WRITE STALLED: the host is not reading");
            return false;
        }
        if (fds[0].revents) {
            return false;
        }
    }
    return true;
}

// Bytes the host writes during this sleep follow the byte it waits for, so they are scheduled after
// it whenever they came: they need no stamp of their own, only one no later than `until`.
bool PtyLine::sleepUntil(WireClock::time_point until) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - now());
        if (left.count() <= 0) {
            break;
        }
        const timespec wait = sleepStep(left, punctual_);
        yieldIfPolling(wait);
        pollfd stop{stopFd_, POLLIN, 0};
        const int rc = ::ppoll(&stop, 1, &wait, nullptr);
        if (rc > 0) {
            return false;
        }
        if (rc < 0 && errno != EINTR) {
            break;
        }
    }
    sleptUntil_ = until;
    return true;
}

bool PtyLine::pause(std::chrono::nanoseconds duration) {
    takeSleptBytes();
    const WireClock::time_point deadline = now() + duration;
    bool watchMaster = master_ >= 0;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now());
        if (left.count() <= 0) {
            return true;
        }
        const timespec wait = sleepStep(left, punctual_);
        yieldIfPolling(wait);
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {master_, POLLIN, 0}};
        int rc = ::ppoll(fds, watchMaster ? 2 : 1, &wait, nullptr);
        if (rc < 0 && errno != EINTR) {
            return true;
        }
        if (rc <= 0) {
            continue;
        }
        if (fds[0].revents) {
            return false;
        }
        // A master that reports something other than bytes is left to the next read to judge; the
        // pause goes on as a plain sleep.
        if (watchMaster && fds[1].revents != 0 && ((fds[1].revents & POLLIN) == 0 || readMaster() <= 0)) {
            watchMaster = false;
        }
    }
}

void PtyLine::drain() {
    if (slave_ < 0) {
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        // Pause first: bytes written to the master reach the slave's queue a moment later.
        if (!pause(kDrainCheck)) {
            return;
        }
        int unread = 0;
        if (ioctl(slave_, FIONREAD, &unread) != 0 || unread == 0) {
            return;
        }
        if (watch_ >= 0 && handleWatchEvents()) {
            return;
        }
    }
    log_.note("DRAIN: the host left bytes unread");
}

void PtyLine::hangUp() {
    log_.note("HANGUP");
    closeAll();
}

std::optional<CharacterFormat> PtyLine::hostFormat() const {
    termios settings{};
    if (slave_ < 0 || tcgetattr(slave_, &settings) != 0) {
        return std::nullopt;
    }
    const speed_t speed = cfgetospeed(&settings);
    CharacterFormat format;
    format.baud = 0;
    for (const auto& entry : kSpeeds) {
        if (entry.code == speed) {
            format.baud = entry.baud;
        }
    }
    if (format.baud == 0) {
        return std::nullopt;
    }
    switch (settings.c_cflag & CSIZE) {
        case CS5:
            format.dataBits = 5;
            break;
        case CS6:
            format.dataBits = 6;
            break;
        case CS7:
            format.dataBits = 7;
            break;
        default:
            format.dataBits = 8;
            break;
    }
    if (settings.c_cflag & PARENB) {
        format.parity = (settings.c_cflag & PARODD) ? WireParity::Odd : WireParity::Even;
    }
    format.stopBits = (settings.c_cflag & CSTOPB) ? 2 : 1;
    return format;
}

}  // namespace hhtsim
