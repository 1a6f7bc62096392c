// One program load from the console: the image checked first, then the window's command logic with
// the console's interaction, the load on a worker thread with a progress line, Ctrl-C as Cancel, and
// the result as its code and its meaning.
#pragma once

#include <optional>
#include <string>

#include "formwell/link/program_load.h"
#include "subcommand.h"

namespace formwell::cli {

struct LoadRequest {
    std::string image;
    link::LoadOverrides overrides;
    bool force = false;           // load an image the check refuses
    std::optional<int> reportFd;  // a station's child: report progress on this descriptor
};

// Exit status: 0 loaded, 1 failed or not started, 3 the image refused, 130 cancelled by Ctrl-C.
int runSingleLoad(CommandContext& context, const LoadRequest& request);

enum class ImageVerdict { Load, Unreadable, Refused };
// Reads the image as the loader will and prints the check's findings on standard error. Load when it
// is sound, or --force says to load it anyway; `imageBytes` is its size.
ImageVerdict checkBeforeLoading(CommandContext& context, const std::string& image, bool force,
                                std::uint64_t& imageBytes);
// The exit status that ends a command whose image is not to be loaded; nothing when it is.
std::optional<int> exitUnlessLoadable(ImageVerdict verdict);

}  // namespace formwell::cli
