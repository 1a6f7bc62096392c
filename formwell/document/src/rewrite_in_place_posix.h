// Rewriting a file in place, for when a rename would refuse the save or change the file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "formwell/common/app_error.h"

namespace formwell {

// Replaces the content of `fd`, the target opened for reading and writing, with `bytes`, and closes
// it. The old content is read into memory and kept aside on the disk first: beside the target when
// its directory takes a new file, else in the temporary directory. Any failure writes the old content
// back and is reported; the aside copy is removed unless that write-back failed too (the error then
// names it).
std::optional<AppError> rewriteInPlace(int fd, const std::filesystem::path& target, std::string_view bytes,
                                       const std::string& shownPath);

}  // namespace formwell
