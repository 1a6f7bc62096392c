#include "file_io_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>

namespace formwell::posix {

namespace {
constexpr int kSiblingNameAttempts = 100;
constexpr std::size_t kReadChunkBytes = 64 * 1024;
}  // namespace

bool writeAll(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t written = offset < 0 ? ::write(fd, bytes.data(), bytes.size())
                                           : ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        if (offset >= 0) {
            offset += written;
        }
    }
    return true;
}

bool readAll(int fd, std::string& content) {
    content.clear();
    std::array<char, kReadChunkBytes> buffer{};
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(content.size()));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        content.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

void syncDirectory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        (void)::close(fd);
    }
}

std::filesystem::path siblingPath(const std::filesystem::path& target, std::string_view tag, int attempt) {
    static std::atomic<unsigned> counter{0};
    const std::string name = "." + target.filename().string() + "." + std::string(tag) + "-" +
                             std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                             std::to_string(attempt);
    return target.parent_path() / name;
}

int createSibling(const std::filesystem::path& target, std::string_view tag, mode_t mode,
                  std::filesystem::path& created) {
    int fd = -1;
    for (int attempt = 0; attempt < kSiblingNameAttempts && fd < 0; ++attempt) {
        created = siblingPath(target, tag, attempt);
        fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    return fd;
}

}  // namespace formwell::posix
