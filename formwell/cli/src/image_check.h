// formwell-cli's reports of the loader's image check: the findings worded as the window words them
// (formwell/link/image_findings.h), the report for people, and the same report as one JSON object.
#pragma once

#include <string>

#include "formwell/link/image_findings.h"

namespace formwell::cli {

using link::checkImage;
using link::FindingLevel;
using link::findingLine;
using link::hex6;
using link::ImageFinding;
using link::ImageReport;
using link::readImageAsLoaderDoes;
using link::windowText;

// "S-record image: the framed protocol, or the hex-block protocol to a terminal answering RMT".
std::string describeRoute(pushkit::ImageRoute route);

std::string formatImageReport(const ImageReport& report);
std::string formatImageReportJson(const ImageReport& report);

}  // namespace formwell::cli
