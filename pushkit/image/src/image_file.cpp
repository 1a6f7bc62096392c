#include "pushkit/image/image_file.h"

#include <algorithm>
#include <new>
#include <vector>

namespace pushkit {

namespace {

ImageRead readChunks(ImageFile& file, std::string& contents, const std::function<bool()>& cancelled,
                     std::size_t chunkBytes) {
    if (file.size() > kImageSizeLimit) {
        return ImageRead::TooLarge;
    }
    contents.reserve(static_cast<std::size_t>(file.size()));
    // One byte more than the file holds lets a small image end in one chunk and one empty read.
    const std::uint64_t chunkSize =
        std::min<std::uint64_t>(std::max<std::size_t>(chunkBytes, 1), file.size() + 1);
    std::vector<char> chunk(static_cast<std::size_t>(chunkSize));
    while (true) {
        if (cancelled()) {
            return ImageRead::Cancelled;
        }
        const std::ptrdiff_t got = file.read(chunk.data(), chunk.size());
        if (got < 0) {
            return ImageRead::Unreadable;
        }
        if (got == 0) {
            return ImageRead::Read;
        }
        contents.append(chunk.data(), static_cast<std::size_t>(got));
        if (contents.size() > kImageSizeLimit) {
            return ImageRead::TooLarge;
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
