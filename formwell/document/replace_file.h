// Replacing a whole file so that a failure part-way never leaves it truncated or half-written: the
// bytes go to a temporary file in the same directory, are flushed to the disk, and only then take
// the old file's place in one rename. The old file's permissions are kept.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "formwell/common/app_error.h"

namespace formwell {

// nullopt on success. On failure the target is as it was and no temporary file is left behind.
std::optional<AppError> replaceFileContents(const std::filesystem::path& path, std::string_view bytes);

}  // namespace formwell
