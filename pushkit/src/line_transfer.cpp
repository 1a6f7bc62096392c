#include <algorithm>
#include <string>

#include "frame_codec.h"
#include "image_scans.h"
#include "result_codes.h"
#include "transfers.h"
#include "wake_up.h"

namespace pushkit {

namespace {

constexpr std::uint32_t kLineBaud = 115200;
constexpr int kWakeByDtrPulses = 1;
constexpr int kWakeByCodeByte = 2;

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

int sendLineFrame(Port& port, const Frame& frame) {
    return port.write(frame.data(), frame.size()) ? 1 : result::kWriteFailed;
}

// Called after the frame went out once: 1 on ACK, -19 after the last attempt, -30 when cancelled,
// -22 when a resend could not be written.
int awaitLineAck(Port& port, const std::atomic<std::int32_t>& run, const Frame& frame) {
    for (int attempt = 0; attempt < kLineAckAttempts; ++attempt) {
        if (run.load(std::memory_order_acquire) == 0) {
            return result::kCancelled;
        }
        std::uint8_t answer[kAnswerBufferLength] = {};
        (void)port.read(answer, kAnswerFrameLength);  // only the ACK position matters, whatever came
        if (answer[kAnswerAckPosition] == kAck) {
            return 1;
        }
        if (sendLineFrame(port, frame) != 1) {
            return result::kWriteFailed;
        }
        port.sleepMs(kResendPauseMs);
    }
    return result::kNoAck;
}

int sendAndAwaitLineAck(Port& port, const std::atomic<std::int32_t>& run, const Frame& frame,
                        std::uint32_t pauseMs = 0) {
    if (sendLineFrame(port, frame) != 1) {
        return result::kWriteFailed;
    }
    if (pauseMs > 0) {
        port.sleepMs(pauseMs);
    }
    return awaitLineAck(port, run, frame);
}

int mapNoAck(int code, int replacement) {
    return code == result::kNoAck ? replacement : code;
}

int sendImageLines(Port& port, const std::atomic<std::int32_t>& run, const ProgressFn& progress,
                   int portNumber, std::string_view image, std::size_t lineCount) {
    LineReader lines(image, kLineProtocolLimit);
    double lastReported = -1.0;
    for (std::size_t i = 0; i < lineCount; ++i) {
        std::string_view line;
        if (!lines.next(line)) {
            line = {};
        }
        const auto sequence = static_cast<unsigned>((kFirstLineSequence + i) % 10);
        if (const int sent = sendAndAwaitLineAck(port, run, lineFrame(line, sequence)); sent != 1) {
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
    return 1;
}

}  // namespace

int runLineTransfer(PortOpener& opener, int portNumber, const std::atomic<std::int32_t>& run,
                    const ProgressFn& progress, std::string_view image, int wakeMethod) {
    const std::size_t lineCount = countHexLines(image, kLineProtocolLimit);
    const std::unique_ptr<Port> port = opener.open(
        portNumber, {.baud = kLineBaud, .dataBits = 8, .parity = kParityNone, .stopBits = kStopOne});
    if (!port) {
        return result::kPortOpenFailed;
    }
    // The unique_ptr closes the port on every return below.
    if (wakeMethod == kWakeByCodeByte) {
        return result::kLineProtocolCodeByte;
    }
    if (wakeMethod == kWakeByDtrPulses && wakeByDtrPulses(*port, kLineBaud) != 1) {
        return result::kNoWakeCode;
    }
    if (const int sent = sendAndAwaitLineAck(*port, run, lineFrame("P1", 0)); sent != 1) {
        return mapNoAck(sent, result::kNoAckFirstFrame);
    }
    const Frame countFrame = lineFrame("5OT" + std::to_string(lineCount), 1);
    if (const int sent = sendAndAwaitLineAck(*port, run, countFrame, kAfterLineCountMs); sent != 1) {
        return mapNoAck(sent, result::kNoAckLineCount);
    }
    if (const int sent = sendImageLines(*port, run, progress, portNumber, image, lineCount); sent != 1) {
        return sent;
    }
    if (const int sent = sendAndAwaitLineAck(*port, run, lineFrame("E", 0)); sent != 1) {
        return sent;
    }
    return result::kSrecordLoaded;  // Download reports a loaded HEX image as 10
}

}  // namespace pushkit
