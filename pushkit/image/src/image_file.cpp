#include "pushkit/image/image_file.h"

#include <algorithm>
#include <new>

namespace pushkit {

namespace {

ImageRead readChunks(ImageFile& file, std::string& contents, const std::function<bool()>& cancelled,
                     std::size_t chunkBytes) {
    if (file.size() > kImageSizeLimit) {
        return ImageRead::TooLarge;
    }
    // Straight into the image's own buffer: each byte is copied once, by the read itself. One byte
    // more than the file holds lets a file read whole end with one empty read.
    const std::size_t chunk = std::max<std::size_t>(chunkBytes, 1);
    contents.resize(static_cast<std::size_t>(file.size()) + 1);
    std::size_t filled = 0;
    const auto finish = [&contents, &filled](ImageRead outcome) {
        contents.resize(filled);
        return outcome;
    };
    while (true) {
        if (cancelled()) {
            return finish(ImageRead::Cancelled);
        }
        if (filled == contents.size()) {
            // The file grew while it was read: room for another chunk, up to just past the limit.
            contents.resize(std::min<std::size_t>(filled + chunk, kImageSizeLimit + 1));
        }
        const std::ptrdiff_t got =
            file.read(contents.data() + filled, std::min(chunk, contents.size() - filled));
        if (got < 0) {
            return finish(ImageRead::Unreadable);
        }
        if (got == 0) {
            return finish(ImageRead::Read);
        }
        filled += static_cast<std::size_t>(got);
        if (filled > kImageSizeLimit) {
            return finish(ImageRead::TooLarge);
        }
    }
}

}  // namespace

ImageRead readImage(ImageFile& file, std::string& contents, const std::function<bool()>& cancelled,
                    std::size_t chunkBytes) {
    contents.clear();
    try {
        return readChunks(file, contents, cancelled, chunkBytes);
    } catch (const std::bad_alloc&) {
        // No memory to hold the image: it cannot be read, as for a file that cannot be opened.
        contents.clear();
        return ImageRead::Unreadable;
    }
}

}  // namespace pushkit
