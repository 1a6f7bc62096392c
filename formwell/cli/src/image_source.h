// Reads an image as the loader reads it: only a regular file, at most the loader's size limit.
#pragma once

#include <optional>
#include <string>

namespace formwell::cli {

// The file's bytes, or nullopt and why not in `why`.
std::optional<std::string> readImageAsLoaderDoes(const std::string& path, std::string& why);

}  // namespace formwell::cli
