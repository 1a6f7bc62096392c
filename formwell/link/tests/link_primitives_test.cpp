#include "formwell/link/link_primitives.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "formwell/testing/fake_comrig.h"
#include "formwell/testing/recording_interaction.h"

namespace formwell::link {
namespace {

using formwell::testing::FakeComrig;
using formwell::testing::IniTerminal;
using formwell::testing::RecordingInteraction;
using ::testing::ElementsAre;

struct Bench {
    Bench() {
        settings = portSettingsFromLine("Com2:19200 8N10");
        terminal.attach(fake);
        table = fake.table();
    }
    // The port opened behind the link's back, for the steps that come after OpenLink.
    void openPort() {
        table.ComOpen("com", 2, 19200, 8, 1, 1, 16384, 16384);
        fake.forgetCalls();
    }
    FakeComrig fake;
    IniTerminal terminal;
    ComrigTable table;
    PortSettings settings;
    RecordingInteraction ui;
    LinkStatus status;
    Link link{table, settings, ui, status};
};

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

TEST(Frame, BytesOnTheWire) {
    EXPECT_EQ(buildFrame("abc"), bytes({0x02, 0x61, 0x62, 0x63, 0x0D, 0x0A, 0x03, 0x66}));
    EXPECT_EQ(buildFrame(""), bytes({0x02, 0x0D, 0x0A, 0x03, 0x06}));  // its check byte equals ACK
    EXPECT_EQ(buildFrame(std::string(42, 'x')).size(), 47u);
    EXPECT_EQ(frameChecksum(std::string("\x80\x01\0", 3)), 0x81);  // 8-bit codes, NUL counts as 0
}

TEST(RequestLink, TriesOnTheVirtualClock) {
    struct Case {
        const char* what;
        int ignoredSoh;
        char answer;
        std::int16_t tries;
        bool acked;
        std::int64_t sohSent;
        std::int64_t elapsedMs;
    };
    const Case cases[] = {
        {"answered at once", 0, 0x06, 50, true, 1, 200},
        {"answered at the fifth", 4, 0x06, 50, true, 5, 1000},
        {"silent terminal", 1000, 0x06, 50, false, 50, 10000},
        {"a NAK is silence", 0, 0x15, 25, false, 25, 5000},
        {"no tries still tries once", 1000, 0x06, 0, false, 1, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.openPort();
        b.terminal.ignoredSoh = c.ignoredSoh;
        b.terminal.answer = c.answer;
        EXPECT_EQ(b.link.requestLink(c.tries), c.acked);
        EXPECT_EQ(b.terminal.sohSeen, c.sohSent);
        EXPECT_EQ(b.fake.now(), c.elapsedMs);
        EXPECT_GE(b.ui.processEventsCalls(), 2 * c.sohSent);  // the window is kept alive between tries
    }
}

TEST(RequestLink, PausesBeforeTheSohAndBeforeTheRead) {
    Bench b;
    b.openPort();
    ASSERT_TRUE(b.link.requestLink(50));
    EXPECT_THAT(b.fake.callTexts(), ElementsAre("ComSleepMS(2,100)=0", "ComPutc(2,0x01)=1",
                                                "ComSleepMS(2,100)=0", "ComGetc(2)=6"));
}

// A terminal that talks before its ACK is heard at the first try, and what it sent behind the ACK (its
// first record) is left for the receive.
TEST(RequestLink, FindsTheAckBehindWhatTheTerminalSaidFirst) {
    Bench b;
    b.openPort();
    b.fake.arrive("HHT READY\r\n");
    b.terminal.attach(b.fake);
    const auto answerSoh = b.fake.terminal;
    b.fake.terminal = [&](char c) {
        answerSoh(c);
        b.fake.arrive("\x02R", 6);
    };
    EXPECT_TRUE(b.link.requestLink(50));
    EXPECT_EQ(b.terminal.sohSeen, 1);
    EXPECT_EQ(b.fake.now(), 200);
    EXPECT_EQ(b.table.ComGetc(2), kStx);
}

TEST(ReleaseLink, ThreeSilentTriesOfEot) {
    Bench b;
    b.openPort();
    b.terminal.ackEot = false;
    const std::int64_t start = b.fake.now();
    EXPECT_FALSE(b.link.releaseLink(3));
    EXPECT_EQ(b.terminal.eotSeen, 3);
    EXPECT_EQ(b.fake.now() - start, 3 * 170);
}

TEST(SendFrame, ShortWritesAreSentAgainAtOnceWithoutReading) {
    Bench b;
    b.openPort();
    b.fake.writeResult = [](std::int32_t n) { return n - 1; };
    EXPECT_FALSE(b.link.sendFrame(buildFrame("abc"), 3));
    EXPECT_THAT(b.fake.callNames(),
                ElementsAre("ComFlush", "ComWrite", "ComFlush", "ComWrite", "ComFlush", "ComWrite"));
}

// A byte that was waiting before the frame went out answers nothing of this frame: a stale ACK must
// not confirm a line the terminal lost, and a stray byte must not make it store a line twice.
TEST(SendFrame, OnlyAnAnswerToThisWriteCounts) {
    {
        Bench b;
        b.openPort();
        b.terminal.ackFrames = false;
        b.fake.arrive(std::string(1, kAck));
        EXPECT_FALSE(b.link.sendFrame(buildFrame("abc"), 3));
    }
    {
        Bench b;
        b.openPort();
        b.fake.arrive("Z");
        EXPECT_TRUE(b.link.sendFrame(buildFrame("abc"), 3));
        EXPECT_EQ(b.terminal.lines, (std::vector<std::string>{"abc"}));
    }
}

TEST(SendFrame, UnacknowledgedFramesAreSentWholeThreeTimes) {
    Bench b;
    b.openPort();
    b.terminal.ackFrames = false;
    const std::string frame = buildFrame("abc");
    EXPECT_FALSE(b.link.sendFrame(frame, 3));
    EXPECT_EQ(b.fake.sent(), frame + frame + frame);
    EXPECT_EQ(b.fake.countOf("ComGetc"), 3);
    b.terminal.ackFrames = true;
    EXPECT_TRUE(b.link.sendFrame(frame, 3));
    EXPECT_EQ(b.terminal.lines, (std::vector<std::string>{"abc", "abc", "abc", "abc"}));
}

// A cradle's adapter pulled out: the step it cut short ends after that one try, where a silent
// terminal is tried again and again, so the person learns at once that the device went away.
TEST(LostLine, EndsTheHandshakeOrFrameAfterTheTryItCut) {
    struct Case {
        const char* what;
        bool lostBefore;  // else at the first byte the terminal receives
        std::function<bool(Link&)> step;
        std::int64_t longestMs;  // one try's pauses
    };
    const Case cases[] = {
        {"the link request, lost before", true, [](Link& l) { return l.requestLink(50); }, 200},
        {"the link request, lost as the SOH goes", false, [](Link& l) { return l.requestLink(50); }, 200},
        {"a frame, lost before", true, [](Link& l) { return l.sendFrame(buildFrame("abc"), 3); }, 0},
        {"a frame, lost as it goes", false, [](Link& l) { return l.sendFrame(buildFrame("abc"), 3); }, 100},
        {"the end, lost as the EOT goes", false, [](Link& l) { return l.releaseLink(3); }, 170},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.openPort();
        if (c.lostBefore) {
            b.fake.loseLine();
        } else {
            b.fake.terminal = [&b, answer = b.fake.terminal](char byte) {
                answer(byte);
                b.fake.loseLine();
            };
        }
        EXPECT_FALSE(c.step(b.link));
        EXPECT_TRUE(b.link.lineLost());
        EXPECT_LE(b.fake.countOf("ComPutc") + b.fake.countOf("ComWrite"), 1);
        EXPECT_LE(b.fake.now(), c.longestMs);
    }
}

TEST(OpenLink, ClosesFirstOpensWithTheSettingsAndSetsTheFlow) {
    Bench b;
    ASSERT_TRUE(b.link.openLink());
    EXPECT_THAT(b.fake.callTexts(), ElementsAre("ComClose(2)=0", "ComOpen(com,2,19200,8,1,1,16384,16384)=0",
                                                "ComSetFlow(2,2)=0"));
    EXPECT_EQ(b.status.text(), "0");
    EXPECT_TRUE(b.ui.events().empty());
}

TEST(OpenLink, AFailedOpenSaysSoAndLeavesThePortAlone) {
    Bench b;
    b.fake.openResult = -3;
    EXPECT_FALSE(b.link.openLink());
    EXPECT_THAT(b.fake.callNames(), ElementsAre("ComClose", "ComOpen"));
    EXPECT_THAT(b.ui.transcript(), ElementsAre("msg[Formwell|Failure to Initialize Serial Port!|none]"));
    // Beneath it the device the port named and why it would not open.
    EXPECT_THAT(b.ui.messages().front().detail, ::testing::StartsWith("COM2"));
}

TEST(OpenLink, AParityThatIsNoLetterRaisesTypeMismatchBeforeTheOpen) {
    Bench b;
    b.settings = portSettingsFromLine("Com2:19200 8Z10");
    try {
        b.link.openLink();
        FAIL() << "no error raised";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number, errnum::kTypeMismatch);
    }
    EXPECT_THAT(b.fake.callNames(), ElementsAre("ComClose"));
}

}  // namespace
}  // namespace formwell::link
