#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "pushkit/image/image_file.h"

namespace pushkit {

namespace {

int fdOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

}  // namespace

ImageFile::~ImageFile() {
    close();
}

bool ImageFile::open(std::string_view path) {
    close();
    if (path.empty()) {
        return false;
    }
    const std::string name(path);
    // Without O_NONBLOCK, opening a FIFO waits for a writer and a serial device for its carrier.
    int fd = -1;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        (void)::close(fd);  // refused either way
        return false;
    }
    // Regular files ignore O_NONBLOCK; it is cleared all the same so every read waits for its bytes.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    handle_ = fd;
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::ptrdiff_t ImageFile::read(char* buf, std::size_t n) {
    if (handle_ == kClosed) {
        return -1;
    }
    while (true) {
        const ssize_t got = ::read(fdOf(handle_), buf, n);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

void ImageFile::close() {
    if (handle_ != kClosed) {
        (void)::close(fdOf(std::exchange(handle_, kClosed)));  // nothing was written: nothing to lose
    }
    size_ = 0;
}

}  // namespace pushkit
