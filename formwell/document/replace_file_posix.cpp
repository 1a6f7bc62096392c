#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "formwell/document/replace_file.h"

namespace formwell {

namespace {

constexpr int kTempNameAttempts = 100;

// A symbolic link stays a link: the file it points to is the one replaced.
std::filesystem::path resolveTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) {
        return path;
    }
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : resolved;
}

std::filesystem::path tempPathFor(const std::filesystem::path& target, int attempt) {
    static std::atomic<unsigned> counter{0};
    const std::string name = "." + target.filename().string() + ".saving-" + std::to_string(::getpid()) +
                             "-" + std::to_string(counter++) + "-" + std::to_string(attempt);
    return target.parent_path() / name;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes the rename itself durable. A failure here cannot be undone any more (the new content is
// already in place), so it is not reported.
void syncDirectory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        (void)::close(fd);
    }
}

}  // namespace

std::optional<AppError> replaceFileContents(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path target = resolveTarget(path);
    const std::string shownPath = path.string();

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        return errorFromErrno(errno, shownPath);
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        return errorFromErrno(S_ISDIR(existing.st_mode) ? EISDIR : EACCES, shownPath);
    }
    // Renaming over a file needs only the directory's permission; a document its owner made
    // read-only must still refuse the save, as it would when written in place.
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        return errorFromErrno(errno, shownPath);
    }

    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < kTempNameAttempts && fd < 0; ++attempt) {
        temp = tempPathFor(target, attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        // The file itself does not exist yet: a missing name here is a missing directory.
        if (errno == ENOENT) {
            return AppError{errnum::kPathNotFound,
                            describeError(errnum::kPathNotFound) + " (" + shownPath + ")"};
        }
        return errorFromErrno(errno, shownPath);
    }

    const auto fail = [&](int error) {
        (void)::close(fd);
        (void)::unlink(temp.c_str());
        return errorFromErrno(error, shownPath);
    };

    if (exists) {
        if (::fchmod(fd, existing.st_mode & 07777) != 0) {
            return fail(errno);
        }
        // Only the superuser may give the file back to another owner; anyone else keeps their own.
        (void)::fchown(fd, existing.st_uid, existing.st_gid);
    }
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0) {
        return fail(errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        (void)::unlink(temp.c_str());
        return errorFromErrno(error, shownPath);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        (void)::unlink(temp.c_str());
        return errorFromErrno(error, shownPath);
    }
    syncDirectory(target.parent_path());
    return std::nullopt;
}

}  // namespace formwell
