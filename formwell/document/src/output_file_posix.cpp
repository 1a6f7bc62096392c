#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "formwell/document/input_file.h"
#include "formwell/document/output_file.h"

namespace formwell {

std::optional<AppError> OutputFile::create(const std::filesystem::path& path) {
    (void)close();
    // A name that already leads to something else is refused without opening it: opening some
    // devices does something of its own (a serial line raises DTR).
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
        return notARegularFile(path);
    }
    // O_NONBLOCK: opening a FIFO without a reader fails at once (ENXIO) instead of waiting for one.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return errno == ENXIO ? notARegularFile(path) : errorFromErrno(errno, path.string());
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        const int error = errno;
        (void)::close(fd);  // nothing was written
        return S_ISREG(opened.st_mode) ? errorFromErrno(error, path.string()) : notARegularFile(path);
    }
    // Emptied only now that it is known to be a file: truncating is meaningless for anything else.
    const int flags = ::fcntl(fd, F_GETFL);
    if (::ftruncate(fd, 0) != 0 || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        (void)::close(fd);
        return errorFromErrno(error, path.string());
    }
    handle_ = fd;
    length_ = 0;
    shownPath_ = path.string();
    return std::nullopt;
}

std::optional<AppError> OutputFile::write(std::string_view bytes) {
    if (handle_ == kClosed) {
        return errorFromErrno(EBADF, shownPath_);
    }
    const int fd = static_cast<int>(handle_);
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd, rest.data(), rest.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            // A part of the bytes may be in the file (a full disk takes what fits): the file goes back
            // to its last whole write. The cut needs no room on the disk.
            (void)::ftruncate(fd, static_cast<off_t>(length_));
            (void)::lseek(fd, static_cast<off_t>(length_), SEEK_SET);
            return errorFromErrno(error, shownPath_);
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    length_ += bytes.size();
    return std::nullopt;
}

std::optional<AppError> OutputFile::sync() {
    if (handle_ == kClosed) {
        return errorFromErrno(EBADF, shownPath_);
    }
    int result = 0;
    do {
        result = ::fdatasync(static_cast<int>(handle_));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        return errorFromErrno(errno, shownPath_);
    }
    return std::nullopt;
}

std::optional<AppError> OutputFile::close() {
    if (handle_ == kClosed) {
        return std::nullopt;
    }
    const int fd = static_cast<int>(handle_);
    handle_ = kClosed;
    // No retry on EINTR: the descriptor is released either way on Linux.
    if (::close(fd) != 0 && errno != EINTR) {
        return errorFromErrno(errno, shownPath_);
    }
    return std::nullopt;
}

}  // namespace formwell
