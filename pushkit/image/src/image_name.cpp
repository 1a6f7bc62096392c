#include "pushkit/image/image_name.h"

#include <cctype>

namespace pushkit {

bool equalsIgnoringCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(upper[i])) {
            return false;
        }
    }
    return true;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view upper) {
    return text.size() >= upper.size() && equalsIgnoringCase(text.substr(0, upper.size()), upper);
}

ImageName splitImageName(std::string_view path) {
    // Names may come with either separator; only the last component decides.
    const std::size_t separator = path.find_last_of("/\\");
    const std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return {name, {}};
    }
    return {name.substr(0, dot), name.substr(dot)};
}

ImageRoute imageRoute(std::string_view path) {
    const ImageName name = splitImageName(path);
    if (!equalsIgnoringCase(name.extension, ".HEX")) {
        return ImageRoute::SRecord;
    }
    for (const HexNamePrefix& prefix : kHexNamePrefixes) {
        if (startsWithIgnoringCase(name.base, prefix.letters)) {
            return prefix.route;
        }
    }
    return ImageRoute::UnknownHexPrefix;
}

}  // namespace pushkit
