#include "download.h"

#include <array>
#include <memory>

#include "frame_codec.h"
#include "pushkit/image/image_file.h"
#include "pushkit/image/image_name.h"
#include "transfers.h"
#include "wake_up.h"

namespace pushkit {

namespace {

// Every transfer but the hex-block one (caller's speed) and the line protocol (115200) runs here.
constexpr std::uint32_t kLoaderBaud = 19200;

constexpr std::uint32_t kQueryPauseMs = 100;
constexpr std::size_t kAnswerBytes = 10;
constexpr std::size_t kAnswerBuffer = 20;

DownloadResult runHexImage(std::unique_ptr<Port>& port, PortOpener& opener, const DownloadRequest& request,
                           std::string_view image, std::atomic<std::int32_t>& run,
                           const ProgressFn& progress) {
    switch (imageRoute(request.imagePath)) {
        case ImageRoute::RawStream: {
            TransferContext ctx{*port, run, progress, request.portNumber};
            return runRawStream(ctx, image);
        }
        case ImageRoute::LineProtocol:
            // The line protocol opens the port itself, at its own speed.
            port.reset();
            return runLineTransfer(opener, request.portNumber, run, progress, image, request.wakeMethod);
        case ImageRoute::SRecord:
        case ImageRoute::UnknownHexPrefix:
            break;
    }
    return DownloadResult::UnknownHexPrefix;
}

DownloadResult runSrecordImage(Port& port, const DownloadRequest& request, std::string_view image,
                               std::atomic<std::int32_t>& run, const ProgressFn& progress) {
    port.setBaud(request.line.baud);
    // The hex-block loader's first query, then the identification: a terminal with the hex-block
    // loader answers "RMT..."; the framed loader ignores both and answers nothing, or something else.
    // Unanswered probes are normal, so write results are not examined here; a dead port shows up in
    // the transfer that follows.
    (void)writeText(port, hexBlockCommand(kHexFirstQuery));
    port.sleepMs(kQueryPauseMs);
    (void)writeText(port, kIdentQuery);
    port.sleepMs(kQueryPauseMs);
    std::array<std::uint8_t, kAnswerBuffer> answer{};
    const std::size_t received = port.read(answer.data(), kAnswerBytes);
    const std::string_view answerText(reinterpret_cast<const char*>(answer.data()), received);

    TransferContext ctx{port, run, progress, request.portNumber};
    if (startsWithIgnoringCase(answerText, "RMT")) {
        port.flushAndPurge();
        return runHexBlockTransfer(ctx, image, answerText);
    }

    port.setBaud(kLoaderBaud);
    port.flushAndPurge();
    // The framed loader may still send one stray byte in answer to the probes; drop it.
    std::uint8_t stray = 0;
    (void)port.read(&stray, 1);
    // The rest of an answer to the two queries must not be taken for the framed loader's replies.
    (void)port.discardUntilQuiet();
    return runFramedTransfer(ctx, image);
}

}  // namespace

DownloadResult runDownload(PortOpener& opener, const DownloadRequest& request, std::atomic<std::int32_t>& run,
                           const ProgressFn& progress) {
    // Armed before anything that takes time: a cancel made while the port opens or the terminal wakes
    // must stand, and one left over from an earlier download must not stop this one.
    run.store(1, std::memory_order_release);
    LineSettings opening = request.line;
    opening.baud = kLoaderBaud;
    std::unique_ptr<Port> port = opener.open(request.portNumber, opening);
    if (!port) {
        return DownloadResult::PortOpenFailed;
    }

    WakeResult woken = WakeResult::Woken;
    if (request.wakeMethod == kWakeByDtrPulses) {
        woken = wakeByDtrPulses(*port, kLoaderBaud);
    } else if (request.wakeMethod == kWakeByCodeByte) {
        woken = wakeByCodeByte(*port, opening);
    }
    if (woken == WakeResult::NoCodeForSpeed) {
        return DownloadResult::NoWakeCode;
    }
    // The wake-up's line sequence is not cut short; a cancel made during it ends the download here,
    // before the image is looked at.
    if (run.load(std::memory_order_acquire) == 0) {
        return DownloadResult::Cancelled;
    }

    ImageFile file;
    if (!file.open(request.imagePath) || file.size() > kImageSizeLimit) {
        return DownloadResult::ImageOpenFailed;
    }
    // The port is held while the image is read: a cancel during the read ends the download.
    std::string image;
    switch (readImage(file, image, [&run] { return run.load(std::memory_order_acquire) == 0; })) {
        case ImageRead::Read:
            break;
        case ImageRead::Cancelled:
            return DownloadResult::Cancelled;
        case ImageRead::Unreadable:
        case ImageRead::TooLarge:
            return DownloadResult::ImageOpenFailed;
    }
    file.close();

    if (imageRoute(request.imagePath) != ImageRoute::SRecord) {
        return runHexImage(port, opener, request, image, run, progress);
    }
    return runSrecordImage(*port, request, image, run, progress);
}

}  // namespace pushkit
