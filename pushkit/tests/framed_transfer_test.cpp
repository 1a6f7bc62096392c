// The framed protocol against a scripted terminal on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "download_result.h"
#include "frame_codec.h"
#include "framed_protocol.h"
#include "pushkit/image/image_scans.h"
#include "pushkit/testing/s2_image.h"
#include "pushkit/testing/scripted_terminal.h"
#include "transfers.h"

namespace pushkit::testing {
namespace {

constexpr std::uint8_t kNak = 0x15;
constexpr std::string_view kOpenMarkerLow = "S20520000000DA";
constexpr std::string_view kIdentRecord101 = terminalKind(TerminalKind::Kind101).identRecord;
constexpr std::string_view kIdentRecord103 = terminalKind(TerminalKind::Kind103).identRecord;
const Bytes kIdentQuery = bytesOf("\x1bZ1\r");
const Bytes kSecondPresence = bytesOf("\x1b*0\r");

// 18 bytes as the terminal answers the identification query.
std::string identAnswer(std::string_view ident8) {
    return std::string(ident8) + "-KTR-0001\r";
}

Responder answersIdent(std::string_view ident8, Responder otherwise) {
    return identifiesAs(identAnswer(ident8), answersFlashQuery({0xA4, 0x01, 0x00}, std::move(otherwise)));
}

std::string namedImage103(std::size_t records) {
    return std::string(kIdentRecord103) + "\r\n" + s2Run(0x200100, records, 16) + "S804000000FB\r\n";
}

std::size_t timesWritten(const ScriptedTerminal& t, const Bytes& frame) {
    const auto writes = t.writes();
    return static_cast<std::size_t>(std::count(writes.begin(), writes.end(), frame));
}

bool isEraseFrame(const Bytes& w) {
    return w.size() >= 6 && w[0] == kDle && w[2] == 'Q' && w[5] == 0x01;
}

std::vector<Bytes> eraseFrames(const ScriptedTerminal& t) {
    std::vector<Bytes> result;
    for (const Bytes& w : t.writes()) {
        if (isEraseFrame(w)) {
            result.push_back(w);
        }
    }
    return result;
}

class FramedTransferTest : public ::testing::Test {
  protected:
    DownloadResult run(std::string_view image, bool withHook = true) {
        const ProgressFn hook = [this](int portNumber, double percent) {
            hookPorts.push_back(portNumber);
            hookValues.push_back(percent);
            if (cancelAtHookCall > 0 && hookValues.size() == static_cast<std::size_t>(cancelAtHookCall)) {
                runFlag = 0;
            }
        };
        TransferContext ctx{*port, runFlag, withHook ? hook : ProgressFn{}, 7};
        return runFramedTransfer(ctx, image);
    }

    ScriptedTerminal terminal;
    std::unique_ptr<Port> port = terminal.openPort(1, {.baud = 19200});
    std::atomic<std::int32_t> runFlag{1};
    std::vector<int> hookPorts;
    std::vector<double> hookValues;
    int cancelAtHookCall = 0;
};

struct KindCase {
    const char* ident;
    std::string image;
    std::vector<Bytes> erases;
    std::vector<std::uint32_t> sleeps;
    bool flashQuery;
};

TEST_F(FramedTransferTest, TerminalAnswerChoosesKindAndErase) {
    const KindCase cases[] = {
        // 101: large blocks by the flash answer, window from 0x300000, numbered from 8.
        {"VKAV0105",
         applicationHeader(0x310000, "VKAV0100") + s2Run(0x300000, 2, 16),
         {eraseFrame(8), eraseFrame(9)},
         {700, 700, 100},
         true},
        {"VKDV0105", applicationHeader(0x030000, "VKDV0100") + s2Run(0x040000, 2, 16), {}, {100}, false},
        {"VKFV0105", applicationHeader(0x030000, "VKFV0100"), {}, {100}, false},
        {"VKNV0105",
         applicationHeader(0x210000, "VKNV0100") + s2Run(0x200000, 2, 16),
         {eraseFrame(8), eraseFrame(9)},
         {700, 700, 100},
         true},
        // 104 erases once, without asking about the flash.
        {"VKSV0105", applicationHeader(0x240000, "VKSV0100"), {eraseFrame(8)}, {1500, 100}, false},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.ident);
        ScriptedTerminal t;
        t.setResponder(answersIdent(c.ident, ackEverything()));
        auto p = t.openPort();
        std::atomic<std::int32_t> flag{1};
        TransferContext ctx{*p, flag, {}, 1};
        EXPECT_EQ(runFramedTransfer(ctx, c.image), DownloadResult::SrecordLoaded);
        EXPECT_EQ(eraseFrames(t), c.erases);
        EXPECT_EQ(timesWritten(t, flashQueryFrame()), c.flashQuery ? 1u : 0u);
        std::vector<std::uint32_t> expectedSleeps = c.sleeps;
        expectedSleeps.push_back(50);
        EXPECT_EQ(t.sleeps(), expectedSleeps);
        // Display, clock and close frames go out for every kind, the erase-free one included.
        const std::vector<Bytes> writes = t.writes();
        const std::vector<Bytes> tail(writes.end() - 3, writes.end());
        EXPECT_EQ(tail, (std::vector<Bytes>{displayFrame("\r100% ready  "), clockFrame(t.localTime()),
                                            closeFrame()}));
    }
}

TEST_F(FramedTransferTest, SmallBlocksWhenTheFlashAnswerIsUnknown) {
    terminal.setResponder(
        identifiesAs(identAnswer("VKNV0105"), answersFlashQuery({0x01, 0x02, 0x03}, ackEverything())));
    // Records from 0x200000 to 0x210014 span 16 KiB blocks 0 to 4.
    EXPECT_EQ(run(applicationHeader(0x210000, "VKNV0100") + s2Run(0x200000, 1, 16)),
              DownloadResult::SrecordLoaded);
    EXPECT_EQ(eraseFrames(terminal), (std::vector<Bytes>{eraseFrame(0), eraseFrame(1), eraseFrame(2),
                                                         eraseFrame(3), eraseFrame(4)}));
}

TEST_F(FramedTransferTest, NamedKind103SendsMarkersAroundTheImageByteForByte) {
    terminal.setResponder(answersFlashQuery({0xE2, 0x20, 0x00}, ackEverything()));
    const std::string image = namedImage103(2);
    ASSERT_EQ(run(image), DownloadResult::SrecordLoaded);

    std::vector<Bytes> expected{kIdentQuery,
                                kSecondPresence,
                                *recordFrame("S20520000000DA"),
                                *recordFrame("S20520FFFFFFDA"),
                                closeFrame(),
                                flashQueryFrame(),
                                displayFrame("\fErasing"),
                                eraseFrame(8),
                                displayFrame("\f0% ready.  ")};
    // Three 'S' lines (ident record, two records) and the S8 line: 33, 66, 100 and 133 capped.
    LineReader lines(image, kSendLineLimit);
    std::string_view line;
    const char* percents[] = {"\r33% ready  ", "\r67% ready  ", "\r100% ready  ", "\r100% ready  "};
    int i = 0;
    while (lines.next(line)) {
        if (auto frame = recordFrame(line)) {
            expected.push_back(*frame);
        }
        expected.push_back(displayFrame(percents[i++]));
    }
    expected.insert(expected.end(), {*recordFrame("S20520FFFF00DC"), displayFrame("\r100% ready  "),
                                     clockFrame(terminal.localTime()), closeFrame()});
    EXPECT_EQ(terminal.writes(), expected);
    EXPECT_EQ(terminal.sleeps(), (std::vector<std::uint32_t>{500, 700, 100, 50}));
    ASSERT_EQ(hookValues.size(), 4u);
    EXPECT_DOUBLE_EQ(hookValues[0], 100.0 / 3);
    EXPECT_DOUBLE_EQ(hookValues[3], 100.0);
    EXPECT_EQ(hookPorts, (std::vector<int>(4, 7)));
}

TEST_F(FramedTransferTest, PresenceCheckFallsThroughToAskingTheTerminal) {
    // Silent to everything: four presence sends, then the identification query itself.
    EXPECT_EQ(run(namedImage103(1)), DownloadResult::NoAnswer);
    EXPECT_EQ(terminal.writes(), std::vector<Bytes>(5, kIdentQuery));
    EXPECT_EQ(terminal.nowMs(), 4 * 1000u + 1900u);

    // Answers the first query but never the second: the image's kind is not confirmed.
    ScriptedTerminal t;
    t.setResponder(answerTo(kIdentQuery, {0x06}, silent()));
    auto p = t.openPort();
    std::atomic<std::int32_t> flag{1};
    TransferContext ctx{*p, flag, {}, 1};
    EXPECT_EQ(runFramedTransfer(ctx, std::string(kIdentRecord101) + "\r\n"), DownloadResult::NoAnswer);
    EXPECT_EQ(timesWritten(t, kSecondPresence), 4u);
}

TEST_F(FramedTransferTest, ProgressOf250LinesStepsByThirdsAndNeverReaches100) {
    terminal.setResponder(answersFlashQuery({0xA4, 0x1F, 0x00}, ackEverything()));
    std::string image = std::string(kIdentRecord103) + "\r\n" + s2Run(0x200100, 249, 16);
    ASSERT_EQ(run(image), DownloadResult::SrecordLoaded);
    ASSERT_EQ(hookValues.size(), 83u);
    for (std::size_t k = 0; k < hookValues.size(); ++k) {
        EXPECT_DOUBLE_EQ(hookValues[k], static_cast<double>(300 * (k + 1)) / 250);
    }
    // 99.6 already reads "100" on the display; the closing 100 % frame follows it.
    EXPECT_EQ(timesWritten(terminal, displayFrame("\r100% ready  ")), 2u);

    // Without a hook the terminal sees exactly the same bytes.
    ScriptedTerminal quiet;
    quiet.setResponder(answersFlashQuery({0xA4, 0x1F, 0x00}, ackEverything()));
    auto p = quiet.openPort(1, {.baud = 19200});
    std::atomic<std::int32_t> flag{1};
    TransferContext ctx{*p, flag, {}, 7};
    EXPECT_EQ(runFramedTransfer(ctx, image), DownloadResult::SrecordLoaded);
    EXPECT_EQ(quiet.writes(), terminal.writes());
}

TEST_F(FramedTransferTest, SilentOrRefusingTerminalGivesUpAfter51Sends) {
    // Every frame after the presence check answered with NAK: the "\fErasing" frame goes out 51
    // times, about 10 s, then -23.
    terminal.setResponder(answerTo(
        kIdentQuery, {0x06},
        answerTo(kSecondPresence, {0x06}, answersFlashQuery({0, 0, 0}, answerEverythingWith(kNak)))));
    const std::string image = std::string(kIdentRecord101) + "\r\n";
    EXPECT_EQ(run(image), DownloadResult::NoAckFirstFrame);
    EXPECT_EQ(timesWritten(terminal, displayFrame("\fErasing")), 51u);
}

TEST_F(FramedTransferTest, EraseFrameWithoutAnswerEndsAfterAbout10Seconds) {
    // ACK up to the "\fErasing" frame, then silence.
    terminal.setResponder(answersIdent("VKAV0105", silentAfter(1, ackEverything())));
    const std::string image = applicationHeader(0x310000, "VKAV0100");
    EXPECT_EQ(run(image), DownloadResult::NoAckErase);
    EXPECT_EQ(timesWritten(terminal, eraseFrame(9)), 51u);
    const Event& firstErase = *std::find_if(terminal.log().begin(), terminal.log().end(), [](const Event& e) {
        return e.kind == EventKind::Write && isEraseFrame(e.bytes);
    });
    EXPECT_EQ(terminal.nowMs() - firstErase.timeMs, 700u + 50u * 200u);
}

struct FailureCase {
    const char* name;
    std::function<Responder()> responder;
    std::string image;
    DownloadResult expected;
};

TEST_F(FramedTransferTest, EveryFailureHasItsResult) {
    const std::string vknImage = applicationHeader(0x210000, "VKNV0100") + s2Run(0x200000, 3, 16);
    const std::string named = namedImage103(3);
    // Frames of the named-103 exchange, counted from the first marker after the two presence queries.
    const auto namedSilentAfter = [](std::size_t frames) {
        return [frames] { return answersFlashQuery({0, 0, 0}, silentAfter(2 + frames, ackEverything())); };
    };
    const auto nakTo = [](Bytes frame) {
        return [frame] { return answersFlashQuery({0, 0, 0}, answerTo(frame, {kNak}, ackEverything())); };
    };
    const FailureCase cases[] = {
        {"unknown family", [] { return answersIdent("QQQV0105", ackEverything()); }, vknImage,
         DownloadResult::UnknownKind},
        {"short identification", [] { return identifiesAs("VKNV01", ackEverything()); }, vknImage,
         DownloadResult::NoAnswer},
        {"no S2 record", [] { return answersIdent("VKNV0105", ackEverything()); }, "S00600004844521B\r\n",
         DownloadResult::NoS2Record},
        {"version too low", [] { return answersIdent("VKNV0099", ackEverything()); }, vknImage,
         DownloadResult::VersionTooLow},
        {"no application header", [] { return answersIdent("VKNV0105", ackEverything()); },
         s2Run(0x200000, 3, 16), DownloadResult::HeaderMismatch},
        {"open marker unanswered", namedSilentAfter(1), named, DownloadResult::NoAckOpenMarkers},
        {"frame after markers unanswered", namedSilentAfter(2), named, DownloadResult::NoAckOpenMarkers},
        {"record unanswered", namedSilentAfter(8), named, DownloadResult::NoAck},
        {"percent display refused", nakTo(displayFrame("\r25% ready  ")), named, DownloadResult::NoAck},
        {"close marker refused", nakTo(*recordFrame("S20520FFFF00DC")), named,
         DownloadResult::NoAckCloseMarker},
        {"first display refused", nakTo(displayFrame("\f0% ready.  ")), named, DownloadResult::NoAck},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTerminal t;
        t.setResponder(c.responder());
        auto p = t.openPort();
        std::atomic<std::int32_t> flag{1};
        TransferContext ctx{*p, flag, {}, 1};
        EXPECT_EQ(runFramedTransfer(ctx, c.image), c.expected);
    }
}

struct LeftOverCase {
    const char* name;
    Responder responder;
    std::string image;
    DownloadResult expected;
    std::vector<Bytes> erases;
};

// Whatever the terminal says beyond the answer a step expects is never read as the next step's
// reply: it is discarded, or it fails the step, before anything is erased.
TEST_F(FramedTransferTest, LeftOverBytesAreNeverTakenForTheNextReply) {
    const Bytes flashAnswer{0xA4, 0x01, 0x00};
    const std::string asking = applicationHeader(0x210000, "VKNV0100") + s2Run(0x200000, 2, 16);
    const Bytes overlongIdent = bytesOf(identAnswer("VKNV0105") + std::string(46, ' '));
    const LeftOverCase cases[] = {
        {"over-long identification when asked",
         answerTo(kIdentQuery, overlongIdent, answersFlashQuery(flashAnswer, ackEverything())),
         asking,
         DownloadResult::IdentTooLong,
         {}},
        // The presence check takes the identification as two halves of 9: the rest is dropped.
        {"over-long identification in the presence check",
         answerTo(kIdentQuery, overlongIdent,
                  answerTo(kSecondPresence, {}, answersFlashQuery(flashAnswer, ackEverything()))),
         namedImage103(2),
         DownloadResult::SrecordLoaded,
         {eraseFrame(8)}},
        {"over-long flash answer",
         identifiesAs(identAnswer("VKNV0105"),
                      answersFlashQuery({0xA4, 0x01, 0x00, kAck, kAck}, ackEverything())),
         asking,
         DownloadResult::FlashAnswerTooLong,
         {}},
        // A late second ACK for the close frame after the markers lies in front of the flash answer.
        {"stray ACK before the flash query",
         answerTo(closeFrame(), {kAck, kAck}, answersFlashQuery(flashAnswer, ackEverything())),
         namedImage103(2),
         DownloadResult::SrecordLoaded,
         {eraseFrame(8)}},
        // A terminal that never stops talking is not taken for the image's terminal.
        {"babbling terminal",
         [](ScriptedTerminal& t, const Bytes&) { t.answer(Bytes(2000, 'V'), 0, 1); },
         namedImage103(2),
         DownloadResult::IdentTooLong,
         {}},
    };
    for (const LeftOverCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTerminal t;
        t.setResponder(c.responder);
        auto p = t.openPort();
        std::atomic<std::int32_t> flag{1};
        TransferContext ctx{*p, flag, {}, 1};
        EXPECT_EQ(runFramedTransfer(ctx, c.image), c.expected);
        EXPECT_EQ(eraseFrames(t), c.erases);
        if (c.expected != DownloadResult::SrecordLoaded) {
            EXPECT_EQ(timesWritten(t, displayFrame("\fErasing")), 0u);
        } else {
            EXPECT_EQ(timesWritten(t, *recordFrame(kOpenMarkerLow)), 1u);
        }
    }
}

TEST_F(FramedTransferTest, CancelFromInsideTheHookStopsAtTheNextPoll) {
    terminal.setResponder(answersFlashQuery({0, 0, 0}, ackEverything()));
    cancelAtHookCall = 1;
    EXPECT_EQ(run(namedImage103(20)), DownloadResult::Cancelled);
    EXPECT_EQ(hookValues.size(), 1u);
    EXPECT_EQ(timesWritten(terminal, displayFrame("\r100% ready  ")), 0u);
}

TEST_F(FramedTransferTest, UnwrittenFrameIsAFailureNeverSuccess) {
    terminal.setResponder(answersFlashQuery({0, 0, 0}, ackEverything()));
    // Writes: two presence queries, three marker frames, flash query, erasing, erase, 0%, ident record.
    terminal.failWritesFrom(9);
    EXPECT_EQ(run(namedImage103(3)), DownloadResult::WriteFailed);
    EXPECT_EQ(terminal.count(EventKind::WriteFailed), 1u);

    // The final close frame, sent without waiting, must arrive too.
    ScriptedTerminal t;
    t.setResponder(answersFlashQuery({0, 0, 0}, ackEverything()));
    auto p = t.openPort();
    std::atomic<std::int32_t> flag{1};
    TransferContext ctx{*p, flag, {}, 1};
    std::string image = std::string(kIdentRecord101) + "\r\n";
    ASSERT_EQ(runFramedTransfer(ctx, image), DownloadResult::SrecordLoaded);
    const std::size_t allWrites = t.writes().size();
    ScriptedTerminal t2;
    t2.setResponder(answersFlashQuery({0, 0, 0}, ackEverything()));
    t2.failWritesFrom(allWrites - 1);
    auto p2 = t2.openPort();
    TransferContext ctx2{*p2, flag, {}, 1};
    EXPECT_EQ(runFramedTransfer(ctx2, image), DownloadResult::WriteFailed);
}

TEST_F(FramedTransferTest, EraseOutsideTheWindowErasesNothing) {
    terminal.setResponder(answersFlashQuery({0, 0, 0}, ackEverything()));
    TransferContext ctx{*port, runFlag, {}, 1};
    // Every record below the kind-103 window: the range is empty and no block is erased.
    EXPECT_EQ(eraseFlash(ctx, s2Run(0x100000, 4, 16), TerminalKind::Kind103), std::nullopt);
    EXPECT_TRUE(eraseFrames(terminal).empty());
    EXPECT_EQ(eraseFlash(ctx, "S00600004844521B\r\n", TerminalKind::Kind103), DownloadResult::NoS2Record);
}

}  // namespace
}  // namespace pushkit::testing
