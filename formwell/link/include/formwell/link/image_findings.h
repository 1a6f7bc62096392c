// The loader's image check (pushkit/image/image_check.h) in words for people, shared by the window's
// question before a load and formwell-cli's check and load: every finding as a sentence, the flash
// window it is held against, and the image read exactly as the loader reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pushkit/image/image_check.h"

namespace formwell::link {

using pushkit::FindingLevel;

struct ImageFinding {
    std::size_t line = 0;  // counted from 1; 0 for the image as a whole
    FindingLevel level = FindingLevel::Warning;
    std::string text;
};

struct ImageReport {
    std::string name;  // the path as given
    pushkit::ImageCheck check;
    std::vector<ImageFinding> findings;  // the check's findings in words, in its order

    bool refused() const { return check.refused(); }
};

// The loader's check of the image, worded.
ImageReport checkImage(std::string_view name, std::string_view image);

// "line 2: checksum 0x00 does not match ..."; no line for a finding about the image as a whole.
std::string findingLine(const ImageFinding& finding);

std::string hex6(std::uint32_t value);  // "0x200000"
// "kind 103: 0x200000-0x27FFFF"; empty when the records were not held against a window.
std::string windowText(const pushkit::ImageCheck& check);

// The file's bytes as the loader reads them: only a regular file, at most the loader's size limit.
// nullopt, and why not in `why`, when the loader could not read it either.
std::optional<std::string> readImageAsLoaderDoes(const std::string& path, std::string& why);

}  // namespace formwell::link
