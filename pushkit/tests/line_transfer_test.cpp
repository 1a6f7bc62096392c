// Line protocol at 115200 baud: the transfer opens and closes its own port.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "download_result.h"
#include "frame_codec.h"
#include "pushkit/testing/scripted_terminal.h"
#include "transfers.h"

namespace pushkit::testing {
namespace {

const std::string kLine1 = ":0400000001020304F2\r\n";
const std::string kLine2 = ":0400040005060708DE\r\n";
const std::string kEnd = ":00000001FF\r\n";

// The terminal answers every frame with a frame of the same form whose one-byte text is ACK.
Responder acksLines() {
    return [](ScriptedTerminal& t, const Bytes&) { t.answer(lineFrame("\x06", 0)); };
}

class LineTransferTest : public ::testing::Test {
  protected:
    DownloadResult run(std::string_view image, int wakeMethod = 0) {
        const ProgressFn hook = [this](int portNumber, double percent) {
            hookPorts.push_back(portNumber);
            hookValues.push_back(percent);
        };
        return runLineTransfer(*opener, 4, runFlag, hook, image, wakeMethod);
    }

    ScriptedTerminal terminal;
    std::unique_ptr<PortOpener> opener = terminal.opener();
    std::atomic<std::int32_t> runFlag{1};
    std::vector<int> hookPorts;
    std::vector<double> hookValues;
};

TEST_F(LineTransferTest, ThreeLinesFramedAndCounted) {
    terminal.setResponder(acksLines());
    // A line after the end record is not part of the image.
    ASSERT_EQ(run(kLine1 + kLine2 + kEnd + "trailing\r\n"), DownloadResult::HexLoaded);
    EXPECT_EQ(terminal.writes(),
              (std::vector<Bytes>{lineFrame("P1", 0), lineFrame("5OT3", 1), lineFrame(kLine1, 2),
                                  lineFrame(kLine2, 3), lineFrame(kEnd, 4), lineFrame("E", 0)}));
    EXPECT_EQ(terminal.sleeps(), std::vector<std::uint32_t>{1000});
    ASSERT_EQ(hookValues.size(), 3u);
    EXPECT_DOUBLE_EQ(hookValues[0], 0.0);
    EXPECT_DOUBLE_EQ(hookValues[1], 100.0 / 3);
    EXPECT_DOUBLE_EQ(hookValues[2], 200.0 / 3);
    EXPECT_EQ(hookPorts, (std::vector<int>{4, 4, 4}));

    const Event& open = terminal.log().front();
    EXPECT_EQ(open.kind, EventKind::Open);
    EXPECT_EQ(open.value, 4u);
    EXPECT_EQ(open.line.baud, 115200u);
    EXPECT_EQ(open.line.dataBits, 8);
    EXPECT_EQ(open.line.parity, kParityNone);
    EXPECT_EQ(open.line.stopBits, kStopOne);
    EXPECT_EQ(terminal.log().back().kind, EventKind::Close);
}

// A HEX line of 32 data bytes is 77 characters: it goes out in two frames, and the count the
// terminal is told must include both, or the rest of the image and its end record never go out.
TEST_F(LineTransferTest, LongLinesAreSentWholeInPiecesAndCounted) {
    terminal.setResponder(acksLines());
    const std::string longLine =
        ":20000000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FF0\r\n";
    ASSERT_EQ(longLine.size(), 77u);
    ASSERT_EQ(run(longLine + kEnd), DownloadResult::HexLoaded);
    EXPECT_EQ(
        terminal.writes(),
        (std::vector<Bytes>{lineFrame("P1", 0), lineFrame("5OT3", 1), lineFrame(longLine.substr(0, 49), 2),
                            lineFrame(longLine.substr(49), 3), lineFrame(kEnd, 4), lineFrame("E", 0)}));
}

TEST_F(LineTransferTest, WakeMethods) {
    // Code-byte wake-up has no meaning at 115200: refused before any frame, port closed.
    EXPECT_EQ(run(kEnd, 2), DownloadResult::LineProtocolCodeByte);
    EXPECT_TRUE(terminal.writes().empty());
    EXPECT_EQ(terminal.log().back().kind, EventKind::Close);

    // DTR pulses: the line sequence runs before the first frame.
    ScriptedTerminal t;
    t.setResponder(acksLines());
    auto o = t.opener();
    EXPECT_EQ(runLineTransfer(*o, 1, runFlag, {}, kEnd, 1), DownloadResult::HexLoaded);
    const auto firstWrite = std::find_if(t.log().begin(), t.log().end(),
                                         [](const Event& e) { return e.kind == EventKind::Write; });
    EXPECT_TRUE(
        std::any_of(t.log().begin(), firstWrite, [](const Event& e) { return e.kind == EventKind::SetDtr; }));
}

struct LineFailure {
    const char* name;
    std::size_t answeredFrames;
    DownloadResult expected;
    std::size_t lastFrameSends;
};

TEST_F(LineTransferTest, SilenceAtEachStepHasItsResult) {
    const LineFailure cases[] = {
        {"first frame", 0, DownloadResult::NoAckFirstFrame, 101},
        {"line count", 1, DownloadResult::NoAckLineCount, 101},
        {"a line", 3, DownloadResult::NoAck, 101},
        {"end frame", 5, DownloadResult::NoAck, 101},
    };
    for (const LineFailure& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTerminal t;
        t.setResponder(silentAfter(c.answeredFrames, acksLines()));
        auto o = t.opener();
        EXPECT_EQ(runLineTransfer(*o, 1, runFlag, {}, kLine1 + kLine2 + kEnd, 0), c.expected);
        const std::vector<Bytes> writes = t.writes();
        EXPECT_EQ(static_cast<std::size_t>(std::count(writes.begin(), writes.end(), writes.back())),
                  c.lastFrameSends);
        EXPECT_EQ(t.log().back().kind, EventKind::Close);
    }
}

TEST_F(LineTransferTest, SilentTerminalCostsAboutOneSecondPerAttempt) {
    const std::uint64_t start = terminal.nowMs();
    EXPECT_EQ(run(kEnd), DownloadResult::NoAckFirstFrame);
    EXPECT_EQ(terminal.nowMs() - start, 100u * (1000u + 1u));
}

TEST_F(LineTransferTest, OpenFailureCancelAndWriteFailure) {
    terminal.failOpens(1);
    EXPECT_EQ(run(kEnd), DownloadResult::PortOpenFailed);
    EXPECT_EQ(terminal.count(EventKind::Open), 0u);

    ScriptedTerminal t;
    t.setResponder(acksLines());
    auto o = t.opener();
    EXPECT_EQ(runLineTransfer(
                  *o, 1, runFlag, [this](int, double) { runFlag = 0; }, kLine1 + kLine2 + kEnd, 0),
              DownloadResult::Cancelled);
    // P1, count, the first line (hook at 0 %), the second line; its wait sees the cancel.
    EXPECT_EQ(t.writes().size(), 4u);
    EXPECT_EQ(t.log().back().kind, EventKind::Close);

    ScriptedTerminal w;
    w.setResponder(acksLines());
    w.failWritesFrom(2);
    auto ow = w.opener();
    std::atomic<std::int32_t> flag{1};
    EXPECT_EQ(runLineTransfer(*ow, 1, flag, {}, kLine1 + kEnd, 0), DownloadResult::WriteFailed);
    EXPECT_EQ(w.log().back().kind, EventKind::Close);
}

}  // namespace
}  // namespace pushkit::testing
