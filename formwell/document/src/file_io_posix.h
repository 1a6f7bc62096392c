// Small POSIX file helpers shared by the two ways of replacing a file.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace formwell::posix {

// Writes all of `bytes` at `offset` (or at the current position when offset is -1); false with errno
// set on failure.
bool writeAll(int fd, std::string_view bytes, off_t offset = -1);

// The whole content of an open file, read from its start; false with errno set on failure.
bool readAll(int fd, std::string& content);

// Makes the entries just made or renamed in a directory durable. A failure is not reported: what it
// guards has already happened and cannot be undone.
void syncDirectory(const std::filesystem::path& dir);

// A name beside `target` that no one else uses: "." name "." tag "-" pid "-" counter "-" attempt.
std::filesystem::path siblingPath(const std::filesystem::path& target, std::string_view tag, int attempt);

// Creates a new file at a sibling name with O_EXCL; the descriptor, or -1 with errno set.
int createSibling(const std::filesystem::path& target, std::string_view tag, mode_t mode,
                  std::filesystem::path& created);

}  // namespace formwell::posix
