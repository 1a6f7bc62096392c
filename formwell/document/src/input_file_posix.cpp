#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "formwell/document/input_file.h"

namespace formwell {

std::optional<AppError> InputFile::open(const std::filesystem::path& path) {
    close();
    // A name that already leads to something else is refused without opening it: opening some
    // devices does something of its own (a serial line raises DTR, a tape rewinds when closed).
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
        return notARegularFile(path);
    }
    // O_NONBLOCK: an open of a FIFO returns at once instead of waiting for a writer.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return errorFromErrno(errno, path.string());
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        (void)::close(fd);
        return errorFromErrno(error, path.string());
    }
    if (!S_ISREG(opened.st_mode)) {
        (void)::close(fd);
        return notARegularFile(path);
    }
    // Reads of a regular file never wait anyway; without the flag a read cannot say EAGAIN.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        (void)::close(fd);
        return errorFromErrno(error, path.string());
    }
    handle_ = fd;
    shownPath_ = path.string();
    return std::nullopt;
}

std::optional<AppError> InputFile::read(char* buffer, std::size_t capacity, std::size_t& got) {
    got = 0;
    if (handle_ == kClosed) {
        return errorFromErrno(EBADF, shownPath_);
    }
    ssize_t count = -1;
    do {
        count = ::read(static_cast<int>(handle_), buffer, capacity);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        return errorFromErrno(errno, shownPath_);
    }
    got = static_cast<std::size_t>(count);
    return std::nullopt;
}

void InputFile::close() {
    if (handle_ != kClosed) {
        (void)::close(static_cast<int>(handle_));  // read-only: nothing can be lost at close
        handle_ = kClosed;
    }
}

}  // namespace formwell
