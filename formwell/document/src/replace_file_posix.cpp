#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string>
#include <vector>

#include "file_io_posix.h"
#include "formwell/document/replace_file.h"
#include "leftover_files.h"
#include "rewrite_in_place_posix.h"

namespace formwell {

namespace {

namespace fs = std::filesystem;

// The kernel gives up on a path after as many links.
constexpr int kMaxLinkDepth = 40;
constexpr std::size_t kMaxLinkText = 64 * 1024;

std::optional<std::string> readLink(const fs::path& link) {
    for (std::size_t size = 256; size <= kMaxLinkText; size *= 2) {
        std::string text(size, '\0');
        const ssize_t got = ::readlink(link.c_str(), text.data(), text.size());
        if (got < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(got) < text.size()) {
            text.resize(static_cast<std::size_t>(got));
            return text;
        }
    }
    errno = ENAMETOOLONG;
    return std::nullopt;
}

// The file a save writes: the end of the chain of symbolic links that `path` names (the path itself
// when it is no link), followed link by link so that a link to a file not made yet leads to where the
// file is to be made, and the links stay links. A relative target counts from the link's directory;
// the joined text is left to the kernel, whose ".." is the link's real parent. nullopt with errno set
// (ELOOP beyond kMaxLinkDepth links).
std::optional<fs::path> endOfLinkChain(const fs::path& path) {
    fs::path current = path;
    for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
        struct stat entry {};
        if (::lstat(current.c_str(), &entry) != 0) {
            if (errno == ENOENT) {
                return current;
            }
            return std::nullopt;
        }
        if (!S_ISLNK(entry.st_mode)) {
            return current;
        }
        const std::optional<std::string> text = readLink(current);
        if (!text) {
            return std::nullopt;
        }
        const fs::path next(*text);
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    errno = ELOOP;
    return std::nullopt;
}

bool userInGroup(gid_t group) {
    if (::getegid() == group) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

ReplaceFacts factsAbout(const fs::path& target, const struct stat& file) {
    const fs::path dir = target.parent_path();
    ReplaceFacts facts;
    facts.directoryWritable =
        ::faccessat(AT_FDCWD, dir.empty() ? "." : dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    facts.links = static_cast<std::uint64_t>(file.st_nlink);
    facts.user = static_cast<std::uint32_t>(::geteuid());
    facts.fileOwner = static_cast<std::uint32_t>(file.st_uid);
    facts.userInFileGroup = userInGroup(file.st_gid);
    return facts;
}

// The new content in a temporary file beside the target, renamed over it once it is on the disk.
// `existing` is the file replaced (nullptr when the save creates it): its permissions, owner and group
// go to the new file. Returns false in `usable` when the owner and group cannot be kept after all, with
// nothing changed, so that the caller can write in place instead.
std::optional<AppError> replaceByRename(const fs::path& target, const struct stat* existing,
                                        std::string_view bytes, const std::string& shownPath, bool& usable) {
    usable = true;
    fs::path temp;
    const int fd = posix::createSibling(target, "saving", 0666, temp);
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
    if (existing != nullptr) {
        if (::fchown(fd, existing->st_uid, existing->st_gid) != 0) {
            usable = false;
            (void)fail(errno);
            return std::nullopt;
        }
        // After the chown, which clears the set-id bits.
        if (::fchmod(fd, existing->st_mode & 07777) != 0) {
            return fail(errno);
        }
    }
    if (!posix::writeAll(fd, bytes) || ::fsync(fd) != 0) {
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
    posix::syncDirectory(target.parent_path());
    removeLeftovers(target);
    return std::nullopt;
}

}  // namespace

bool processHasEnded(std::uint64_t pid) {
    if (pid == 0 || pid > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max())) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::optional<AppError> replaceFileContents(const fs::path& path, std::string_view bytes) {
    const std::string shownPath = path.string();
    const std::optional<fs::path> resolved = endOfLinkChain(path);
    if (!resolved) {
        return errorFromErrno(errno, shownPath);
    }
    const fs::path& target = *resolved;

    // Something other than a file is refused unopened: opening a device may do something of its own.
    struct stat named {};
    if (::stat(target.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
        return errorFromErrno(S_ISDIR(named.st_mode) ? EISDIR : EACCES, shownPath);
    }
    // The file itself is opened first and what was opened is checked, so nothing swapped in between
    // is written. Opening it for writing also refuses a document its owner made read-only, which a
    // rename (needing only the directory's permission) would replace.
    int fd = -1;
    do {
        fd = ::open(target.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno != ENOENT) {
            return errorFromErrno(errno, shownPath);
        }
        bool usable = true;
        return replaceByRename(target, nullptr, bytes, shownPath, usable);
    }
    struct stat existing {};
    int error = ::fstat(fd, &existing) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(existing.st_mode)) {
        error = EACCES;
    }
    if (error == 0) {
        // Writes to a regular file do not wait anyway; the flag only kept the open from waiting.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            error = errno;
        }
    }
    if (error != 0) {
        (void)::close(fd);
        return errorFromErrno(error, shownPath);
    }
    if (chooseReplaceMethod(factsAbout(target, existing)) == ReplaceMethod::Rename) {
        bool usable = true;
        std::optional<AppError> failure = replaceByRename(target, &existing, bytes, shownPath, usable);
        if (usable) {
            (void)::close(fd);  // only opened and checked: nothing was written through it
            return failure;
        }
    }
    return rewriteInPlace(fd, target, bytes, shownPath);
}

}  // namespace formwell
