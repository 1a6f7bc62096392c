// The image check's report as text for people and as JSON for scripts.
#include <cstdio>

#include "command_support.h"
#include "image_check.h"

namespace formwell::cli {

namespace {

constexpr std::size_t kFindingsShown = 50;

const char* levelName(FindingLevel level) {
    return level == FindingLevel::Refuse ? "refuse" : "warning";
}

bool isHex(const pushkit::ImageCheck& c) {
    return c.route != pushkit::ImageRoute::SRecord;
}

std::string numberOf(pushkit::TerminalKind kind) {
    return std::to_string(pushkit::kindNumber(kind));
}

}  // namespace

std::string describeRoute(pushkit::ImageRoute route) {
    switch (route) {
        case pushkit::ImageRoute::SRecord:
            return "S-record image: the framed protocol, or the hex-block protocol to a terminal answering "
                   "RMT";
        case pushkit::ImageRoute::RawStream:
            return "Intel HEX image: the raw stream (its name starts VKD, VKF or VKL)";
        case pushkit::ImageRoute::LineProtocol:
            return "Intel HEX image: the line protocol at 115200 baud (its name starts VKS)";
        case pushkit::ImageRoute::UnknownHexPrefix:
            return "Intel HEX image with a name the loader does not take";
    }
    return {};
}

std::string formatImageReport(const ImageReport& report) {
    const pushkit::ImageCheck& r = report.check;
    std::string out = "image: " + printable(report.name) + "\n" + "format: " + describeRoute(r.route) + "\n";
    if (isHex(r)) {
        out += "lines: " + std::to_string(r.hexLines) +
               (r.hexEndRecord ? " up to and including the end record\n" : " (no end record)\n");
    } else {
        out += "S2 records: " + std::to_string(r.s2Records);
        if (r.low && r.high && *r.high > *r.low) {
            out += ", addresses " + hex6(*r.low) + "-" + hex6(*r.high - 1);
        }
        out += "\n";
        out += "identification record: " +
               (r.namedKind ? "kind " + numberOf(*r.namedKind) + " (the loader skips asking the terminal)"
                            : std::string("none (the loader asks the terminal for its kind)")) +
               "\n";
        for (const pushkit::ApplicationHeader& h : r.headers) {
            out += "application header: kind " + numberOf(h.kind) + " at " + hex6(h.address) +
                   ", requires terminal \"" + printable(h.required) + "\"\n";
        }
        if (r.headers.empty()) {
            out += "application header: none\n";
        }
        if (const std::string window = windowText(r); !window.empty()) {
            out += "flash window: " + window + "\n";
        }
    }
    std::size_t shown = 0;
    for (const ImageFinding& f : report.findings) {
        if (shown == kFindingsShown) {
            break;
        }
        ++shown;
        out += std::string(levelName(f.level)) + ": " + findingLine(f) + "\n";
    }
    const std::size_t total = r.refusals + r.warnings;
    if (total > shown) {
        out += "... " + std::to_string(total - shown) + " more\n";
    }
    out += r.refused() ? "verdict: not sound (" + std::to_string(r.refusals) + " problem" +
                             (r.refusals == 1 ? "" : "s") + " that would load wrong bytes or be refused)\n"
                       : "verdict: sound" +
                             (r.warnings > 0 ? " (" + std::to_string(r.warnings) + " warning" +
                                                   (r.warnings == 1 ? "" : "s") + ")"
                                             : std::string()) +
                             "\n";
    return out;
}

std::string formatImageReportJson(const ImageReport& report) {
    const pushkit::ImageCheck& r = report.check;
    std::string out = "{\"image\": " + jsonString(report.name);
    out += ", \"format\": " + std::string(isHex(r) ? "\"Intel HEX\"" : "\"S-record\"");
    out += ", \"transfer\": " + jsonString(describeRoute(r.route));
    if (isHex(r)) {
        out += ", \"lines\": " + std::to_string(r.hexLines);
        out += ", \"endRecord\": " + std::string(r.hexEndRecord ? "true" : "false");
    } else {
        out += ", \"s2Records\": " + std::to_string(r.s2Records);
        out += ", \"addressLow\": " + (r.low ? jsonString(hex6(*r.low)) : std::string("null"));
        out += ", \"addressEnd\": " + (r.high ? jsonString(hex6(*r.high)) : std::string("null"));
        out +=
            ", \"identificationRecordKind\": " + (r.namedKind ? numberOf(*r.namedKind) : std::string("null"));
        out += ", \"applicationHeaders\": [";
        for (std::size_t i = 0; i < r.headers.size(); ++i) {
            out += (i ? ", " : "") + std::string("{\"kind\": ") + numberOf(r.headers[i].kind) +
                   ", \"address\": " + jsonString(hex6(r.headers[i].address)) +
                   ", \"requires\": " + jsonString(r.headers[i].required) + "}";
        }
        out += "]";
        out += ", \"kind\": " + (r.kind ? numberOf(*r.kind) : std::string("null"));
        out += ", \"flashWindow\": " + jsonString(windowText(r));
    }
    out += ", \"sound\": " + std::string(r.refused() ? "false" : "true");
    out += ", \"refusals\": " + std::to_string(r.refusals) + ", \"warnings\": " + std::to_string(r.warnings);
    out += ", \"findings\": [";
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        const ImageFinding& f = report.findings[i];
        out += (i ? ", " : "") + std::string("{\"line\": ") + std::to_string(f.line) +
               ", \"level\": " + jsonString(levelName(f.level)) + ", \"text\": " + jsonString(f.text) + "}";
    }
    return out + "]}\n";
}

}  // namespace formwell::cli
