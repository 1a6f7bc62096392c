#include "pty_round_trip.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace bench {

namespace {

bool waitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 1000) == 1 && (p.revents & POLLIN) != 0;
}

// The child: every byte that arrives goes straight back, until the other side closes.
[[noreturn]] void echo(const char* device) {
    const int fd = ::open(device, O_RDWR | O_NOCTTY);
    termios raw{};
    if (fd < 0 || ::tcgetattr(fd, &raw) != 0) {
        ::_exit(1);
    }
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    const char ready = 'r';
    if (::write(fd, &ready, 1) != 1) {
        ::_exit(1);
    }
    char byte = 0;
    while (waitReadable(fd) && ::read(fd, &byte, 1) == 1 && ::write(fd, &byte, 1) == 1) {
    }
    ::_exit(0);
}

}  // namespace

double ptyRoundTripSeconds(int exchanges) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        return -1;
    }
    const char* const device = ::ptsname(master);
    const pid_t child = device ? ::fork() : -1;
    if (child == 0) {
        echo(device);
    }
    std::vector<double> trips;
    char byte = 0;
    if (child > 0 && waitReadable(master) && ::read(master, &byte, 1) == 1) {
        for (int i = 0; i < exchanges; ++i) {
            byte = static_cast<char>('a' + i % 26);
            const auto start = std::chrono::steady_clock::now();
            if (::write(master, &byte, 1) != 1 || !waitReadable(master) || ::read(master, &byte, 1) != 1) {
                break;
            }
            trips.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    ::close(master);
    if (child > 0) {
        ::waitpid(child, nullptr, 0);
    }
    if (trips.size() != static_cast<std::size_t>(exchanges) || trips.empty()) {
        return -1;
    }
    std::nth_element(trips.begin(), trips.begin() + trips.size() / 2, trips.end());
    return trips[trips.size() / 2];
}

}  // namespace bench
