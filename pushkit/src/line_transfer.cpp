#include <algorithm>
#include <string>

#include "frame_codec.h"
#include "pushkit/image/image_scans.h"
#include "transfers.h"
#include "wake_up.h"

namespace pushkit {

namespace {

constexpr std::uint32_t kLineBaud = 115200;

// A silent terminal makes each attempt last one 9-byte read, about 1 s.
constexpr int kLineAckAttempts = 100;
constexpr std::uint32_t kResendPauseMs = 1;
constexpr std::uint32_t kAfterLineCountMs = 1000;
// The terminal answers with a 9-byte frame whose one-character text is the ACK.
constexpr std::size_t kAnswerFrameLength = 9;
constexpr std::size_t kAnswerBufferLength = 12;
constexpr std::size_t kAnswerAckPosition = 6;

constexpr unsigned kFirstLineSequence = 2;
constexpr double kPercentStep = 1.0;

bool sendLineFrame(Port& port, const Frame& frame) {
    return port.write(frame.data(), frame.size());
}

// Called after the frame went out once: NoAck after the last attempt, WriteFailed when a resend
// could not be written.
AckResult awaitLineAck(Port& port, const std::atomic<std::int32_t>& run, const Frame& frame) {
    for (int attempt = 0; attempt < kLineAckAttempts; ++attempt) {
        if (run.load(std::memory_order_acquire) == 0) {
            return AckResult::Cancelled;
        }
        std::uint8_t answer[kAnswerBufferLength] = {};
        (void)port.read(answer, kAnswerFrameLength);  // only the ACK position matters, whatever came
        if (answer[kAnswerAckPosition] == kAck) {
            return AckResult::Acked;
        }
        if (!sendLineFrame(port, frame)) {
            return AckResult::WriteFailed;
        }
        port.sleepMs(kResendPauseMs);
    }
    return AckResult::NoAck;
}

AckResult sendAndAwaitLineAck(Port& port, const std::atomic<std::int32_t>& run, const Frame& frame,
                              std::uint32_t pauseMs = 0) {
    if (!sendLineFrame(port, frame)) {
        return AckResult::WriteFailed;
    }
    if (pauseMs > 0) {
        port.sleepMs(pauseMs);
    }
    return awaitLineAck(port, run, frame);
}

AckResult sendImageLines(Port& port, const std::atomic<std::int32_t>& run, const ProgressFn& progress,
                         int portNumber, std::string_view image, std::size_t lineCount) {
    LineReader lines(image, kLineProtocolLimit);
    double lastReported = -1.0;
    for (std::size_t i = 0; i < lineCount; ++i) {
        std::string_view line;
        if (!lines.next(line)) {
            line = {};
        }
        const auto sequence = static_cast<unsigned>((kFirstLineSequence + i) % 10);
        if (const AckResult sent = sendAndAwaitLineAck(port, run, lineFrame(line, sequence));
            sent != AckResult::Acked) {
            return sent;
        }
        const double percent = 100.0 * static_cast<double>(i) / static_cast<double>(lineCount);
        if (percent - lastReported >= kPercentStep) {
            lastReported = std::min(percent, 100.0);
            if (progress) {
                progress(portNumber, lastReported);
            }
        }
    }
    return AckResult::Acked;
}

}  // namespace

DownloadResult runLineTransfer(PortOpener& opener, int portNumber, const std::atomic<std::int32_t>& run,
                               const ProgressFn& progress, std::string_view image, int wakeMethod) {
    const std::size_t lineCount = countHexLines(image, kLineProtocolLimit);
    const std::unique_ptr<Port> port = opener.open(
        portNumber, {.baud = kLineBaud, .dataBits = 8, .parity = kParityNone, .stopBits = kStopOne});
    if (!port) {
        return DownloadResult::PortOpenFailed;
    }
    // The unique_ptr closes the port on every return below.
    if (wakeMethod == kWakeByCodeByte) {
        return DownloadResult::LineProtocolCodeByte;
    }
    if (wakeMethod == kWakeByDtrPulses && wakeByDtrPulses(*port, kLineBaud) != WakeResult::Woken) {
        return DownloadResult::NoWakeCode;
    }
    if (const StepFailure failure = stepFailure(sendAndAwaitLineAck(*port, run, lineFrame("P1", 0)),
                                                DownloadResult::NoAckFirstFrame)) {
        return *failure;
    }
    const Frame countFrame = lineFrame("5OT" + std::to_string(lineCount), 1);
    if (const StepFailure failure = stepFailure(
            sendAndAwaitLineAck(*port, run, countFrame, kAfterLineCountMs), DownloadResult::NoAckLineCount)) {
        return *failure;
    }
    if (const StepFailure failure =
            stepFailure(sendImageLines(*port, run, progress, portNumber, image, lineCount))) {
        return *failure;
    }
    if (const StepFailure failure = stepFailure(sendAndAwaitLineAck(*port, run, lineFrame("E", 0)))) {
        return *failure;
    }
    return DownloadResult::HexLoaded;
}

}  // namespace pushkit
