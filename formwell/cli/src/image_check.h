// formwell-cli's words for the loader's image check (pushkit/image/image_check.h): every finding as a
// sentence, the report for people, and the same report as one JSON object.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pushkit/image/image_check.h"

namespace formwell::cli {

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

// "S-record image: the framed protocol, or the hex-block protocol to a terminal answering RMT".
std::string describeRoute(pushkit::ImageRoute route);

std::string formatImageReport(const ImageReport& report);
std::string formatImageReportJson(const ImageReport& report);

}  // namespace formwell::cli
