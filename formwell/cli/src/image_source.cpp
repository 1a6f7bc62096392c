#include "image_source.h"

#include "pushkit/image/image_file.h"

namespace formwell::cli {

std::optional<std::string> readImageAsLoaderDoes(const std::string& path, std::string& why) {
    pushkit::ImageFile file;
    if (!file.open(path)) {
        why = "the image file cannot be opened (missing, unreadable, or not a regular file)";
        return std::nullopt;
    }
    std::string image;
    switch (pushkit::readImage(file, image, [] { return false; })) {
        case pushkit::ImageRead::Read:
            return image;
        case pushkit::ImageRead::TooLarge:
            why = "the image file is larger than 64 MiB, which the loader refuses";
            return std::nullopt;
        case pushkit::ImageRead::Unreadable:
        case pushkit::ImageRead::Cancelled:
            break;
    }
    why = "the image file cannot be read";
    return std::nullopt;
}

}  // namespace formwell::cli
