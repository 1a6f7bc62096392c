// check IMAGE: what the loader would see, before any terminal is involved.
#include "command_support.h"
#include "image_check.h"

namespace formwell::cli {

namespace {

int runCheck(CommandContext& c) {
    const std::string& path = c.line.arguments[0];
    std::string why;
    const std::optional<std::string> image = readImageAsLoaderDoes(path, why);
    if (!image) {
        note(c, path + ": " + why);
        return kExitFailed;
    }
    const ImageReport report = checkImage(path, *image);
    c.out << (c.line.has("--json") ? formatImageReportJson(report) : formatImageReport(report)) << std::flush;
    if (!c.out) {
        note(c, "the report could not be written to standard output");
        return kExitFailed;
    }
    return report.refused() ? kExitRefused : kExitSuccess;
}

}  // namespace

Subcommand checkCommand() {
    return Subcommand{
        "check",
        "check IMAGE",
        "Show what the loader would make of a program image, without a terminal.",
        "Reads the image as the loader does and prints: the format by the name's rule (.HEX in any case\n"
        "is Intel HEX, sent by the raw stream for VKD/VKF/VKL names or the line protocol for VKS names;\n"
        "anything else is S-records), the S2 record count and address range, the identification\n"
        "record, the application header and the terminal it requires, the flash window the records\n"
        "must lie in, and the HEX lines up to the end record.\n"
        "\n"
        "Then every problem the loader itself would not notice, each with its line number:\n"
        "  refuse   would put wrong or missing bytes into a terminal: S2 checksums that do not match,\n"
        "           lower-case or foreign digits in S2 records, truncated records, data outside the\n"
        "           flash window, S1/S3 data records (never sent), S2 lines the framed protocol cuts;\n"
        "           or an image the loader refuses anyway (no S2 record, a HEX name it does not take)\n"
        "  warning  accepted or skipped silently: overlapping records, checksums and digits of\n"
        "           records that carry no data (S0, S5, S8, HEX end and address records), lines\n"
        "           longer than a reader takes whole, text that is no record, lines after the HEX\n"
        "           end record\n"
        "formwell-cli load refuses an image with a 'refuse' finding unless --force is given.\n",
        {{"--json", "", "the report as one JSON object on standard output"}},
        1,
        1,
        runCheck};
}

}  // namespace formwell::cli
