// If the machine dies while the file is being rewritten, the file itself may hold a mix of old and
// new bytes: the old content survives whole only in the aside copy, which is flushed to the disk (its
// directory entry too) before the first byte of the file is touched. That holds where the copy could
// be made and where it lies on a disk: a temporary directory kept in memory (tmpfs) keeps it only
// across the death of the program, not of the machine. Without any aside copy only failures the
// program sees are undone.
#include "rewrite_in_place_posix.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

#include "file_io_posix.h"

namespace formwell {

namespace {

namespace fs = std::filesystem;

// Writes the content to the new file `fd` at `path` and makes it durable; an empty path on failure,
// with nothing left behind.
fs::path finishAside(int fd, const fs::path& path, std::string_view content) {
    if (!posix::writeAll(fd, content) || ::fsync(fd) != 0) {
        (void)::close(fd);
        (void)::unlink(path.c_str());
        return {};
    }
    if (::close(fd) != 0) {
        (void)::unlink(path.c_str());
        return {};
    }
    posix::syncDirectory(path.parent_path());
    return path;
}

// The aside copy of the old content: its path, empty when none could be made.
fs::path keepAside(const fs::path& target, std::string_view content) {
    fs::path beside;
    // Private: the old document may be readable by fewer people than the directory shows it to.
    const int fd = posix::createSibling(target, "old", 0600, beside);
    if (fd >= 0) {
        if (fs::path made = finishAside(fd, beside, content); !made.empty()) {
            return made;
        }
    }
    std::error_code ec;
    const fs::path temporary = fs::temp_directory_path(ec);
    if (ec) {
        return {};
    }
    std::string pattern = (temporary / ("formwell-" + target.filename().string() + ".old-XXXXXX")).string();
    const int tempFd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (tempFd < 0) {
        return {};
    }
    return finishAside(tempFd, pattern, content);
}

bool writeWhole(int fd, std::string_view content) {
    return posix::writeAll(fd, content, 0) && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 &&
           ::fsync(fd) == 0;
}

}  // namespace

std::optional<AppError> rewriteInPlace(int fd, const fs::path& target, std::string_view bytes,
                                       const std::string& shownPath) {
    std::string old;
    if (!posix::readAll(fd, old)) {
        const int error = errno;
        (void)::close(fd);
        return errorFromErrno(error, shownPath);
    }
    const fs::path aside = keepAside(target, old);
    if (writeWhole(fd, bytes)) {
        (void)::close(fd);  // the content is on the disk already (fsync)
        if (!aside.empty()) {
            (void)::unlink(aside.c_str());
        }
        return std::nullopt;
    }
    AppError failure = errorFromErrno(errno, shownPath);
    const bool restored = writeWhole(fd, old);
    (void)::close(fd);
    if (restored) {
        if (!aside.empty()) {
            (void)::unlink(aside.c_str());
        }
    } else if (!aside.empty()) {
        failure.description += "; the old content is kept in " + aside.string();
    } else {
        failure.description += "; the old content could not be written back";
    }
    return failure;
}

}  // namespace formwell
