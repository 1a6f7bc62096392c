#include <algorithm>

#include "transfers.h"

namespace pushkit {

namespace {

constexpr std::size_t kChunkBytes = 4096;

}  // namespace

// The terminal holds CTS on while it can take more; a short chunk is the end of the image.
DownloadResult runRawStream(TransferContext& ctx, std::string_view image) {
    std::size_t written = 0;
    while (true) {
        if (!ctx.port.cts()) {
            return DownloadResult::CtsOff;
        }
        if (ctx.cancelled()) {
            return DownloadResult::Cancelled;
        }
        const std::size_t chunk = std::min(kChunkBytes, image.size() - written);
        if (ctx.cancelled()) {
            return DownloadResult::Cancelled;
        }
        // A chunk the port did not take is lost to the terminal: never report it as loaded.
        // An empty chunk (the image's size a multiple of 4096) has nothing to write.
        if (chunk > 0 &&
            !ctx.port.write(reinterpret_cast<const std::uint8_t*>(image.data()) + written, chunk)) {
            return DownloadResult::WriteFailed;
        }
        written += chunk;
        if (ctx.cancelled()) {
            return DownloadResult::Cancelled;
        }
        // An empty image counts as wholly written.
        ctx.report(image.empty() ? 100.0
                                 : 100.0 * static_cast<double>(written) / static_cast<double>(image.size()));
        if (chunk < kChunkBytes) {
            return DownloadResult::HexLoaded;
        }
    }
}

}  // namespace pushkit
