// Pieces of the image report's wording shared by its findings and its summary.
#pragma once

#include <cstdint>
#include <string>

#include "pushkit/image/image_check.h"

namespace formwell::cli {

std::string hex6(std::uint32_t value);  // "0x200000"
// "kind 103: 0x200000-0x27FFFF"; empty when the records were not held against a window.
std::string windowText(const pushkit::ImageCheck& check);

}  // namespace formwell::cli
