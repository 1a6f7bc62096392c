#include "pushkit/src/image_file.h"

#include <algorithm>
#include <vector>

namespace pushkit {

ImageRead readImage(ImageFile& file, std::string& contents, const std::function<bool()>& cancelled,
                    std::size_t chunkBytes) {
    contents.clear();
    if (file.size() > kImageSizeLimit) {
        return ImageRead::TooLarge;
    }
    contents.reserve(static_cast<std::size_t>(file.size()));
    // One byte more than the file holds lets a small image end in one chunk and one empty read.
    std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, file.size() + 1)));
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

}  // namespace pushkit
