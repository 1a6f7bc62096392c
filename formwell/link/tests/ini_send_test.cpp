#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "formwell/testing/fake_comrig.h"
#include "station.h"

namespace formwell::link {
namespace {

using formwell::testing::IniTerminal;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string kAsk = std::string("msg[Download ?|") + kSendConfirmText + "|question]";
const std::string kFailed = "msg[Operation Cancelled|Download Failed!|info]";

TEST(SendIniFile, EveryLineTravelsAsStoredAndTheTerminalConfirmsEachStep) {
    Station s;
    IniTerminal terminal;
    terminal.attach(s.fake);
    // CR LF, a lone CR, a lone LF, a blank line, a last line without ending.
    s.write("a.ini", "FIELD1\r\nFIELD2\rTWO\nLINES\r\n\r\nLAST");
    s.transmit(s.file("a.ini"));

    EXPECT_EQ(terminal.lines, (std::vector<std::string>{"FIELD1", "FIELD2", "TWO", "LINES", "", "LAST"}));
    EXPECT_EQ(terminal.framesSeen, 6);
    EXPECT_EQ(terminal.eotSeen, 1);
    EXPECT_EQ(s.fake.sent().front(), kSoh);
    EXPECT_EQ(s.fake.sent().back(), kEot);
    EXPECT_THAT(s.ui.transcript(),
                ElementsAre("file[Select File to Download]", kAsk, "busy:on", "beep",
                            "msg[Process Complete|Download Process Complete!|info]", "busy:off"));
    // Beneath the question: the port and the settings it will be opened with.
    EXPECT_THAT(s.ui.messages().front().detail,
                ::testing::AllOf(::testing::StartsWith("COM1 ("),
                                 ::testing::EndsWith("): 19200 baud, 8 data bits, no parity, 1 stop bit")));
    EXPECT_FALSE(s.fake.portOpen());
    EXPECT_EQ(s.fake.callNames().back(), "ComClose");
    EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Succeeded);
    const std::vector<Progress> progress = s.ui.progressReports();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progressText(progress.back()), "Transmit ini File: 6 of 6 lines");
    EXPECT_TRUE(progress.back().finished);
}

TEST(SendIniFile, AnEmptyFileSendsOnlyTheHandshakes) {
    Station s;
    IniTerminal terminal;
    terminal.attach(s.fake);
    s.write("empty.ini", "");
    s.transmit(s.file("empty.ini"));
    EXPECT_EQ(s.fake.sent(), (std::string{kSoh, kEot}));
    EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Succeeded);
}

// Each failure: what the person sees after the hourglass went on, and the port closed at the end.
TEST(SendIniFile, EachFailingStepShowsItsMessagesInOrderAndClosesThePort) {
    struct Case {
        const char* what;
        std::function<void(Station&, IniTerminal&, std::string& path)> setup;
        std::function<std::vector<std::string>(const Station&, const std::string& path)> messages;
        std::int64_t sohSent;
        std::int64_t framesSent;
        std::int64_t eotSent;
    };
    const std::vector<std::string> failedOnly{kFailed, "busy:off"};
    const Case cases[] = {
        {"no mbx.dat",
         [](Station& s, IniTerminal&, std::string&) { std::filesystem::remove(s.dir / "mbx.dat"); },
         [](const Station&, const std::string&) {
             return std::vector<std::string>{
                 "beep", "msg[Invalid Action|Please set the parameter first for communication ...|info]",
                 kFailed, "busy:off"};
         },
         0, 0, 0},
        {"the port does not open", [](Station& s, IniTerminal&, std::string&) { s.fake.openResult = -2; },
         [](const Station&, const std::string&) {
             return std::vector<std::string>{"msg[Formwell|Failure to Initialize Serial Port!|none]", kFailed,
                                             "busy:off"};
         },
         0, 0, 0},
        {"no ACK to 50 SOH", [](Station&, IniTerminal& t, std::string&) { t.ignoredSoh = 1000; },
         [&](const Station&, const std::string&) { return failedOnly; }, 50, 0, 0},
        {"first frame never acknowledged",
         [](Station&, IniTerminal& t, std::string&) { t.ackFrames = false; },
         [&](const Station&, const std::string&) { return failedOnly; }, 1, 3, 0},
        {"end never acknowledged", [](Station&, IniTerminal& t, std::string&) { t.ackEot = false; },
         [&](const Station&, const std::string&) { return failedOnly; }, 1, 2, 3},
        {"the file is gone", [](Station& s, IniTerminal&, std::string& path) { path = s.file("gone.ini"); },
         [](const Station&, const std::string& path) {
             return std::vector<std::string>{"beep",
                                             "msg[ERROR|ERROR: 53\r\nFile not found (" + path + ")|critical]",
                                             kFailed, "busy:off"};
         },
         0, 0, 0},
        {"baud rate not a number",
         [](Station& s, IniTerminal&, std::string&) { s.write("mbx.dat", "Com1:      8N10"); },
         [](const Station&, const std::string&) {
             return std::vector<std::string>{"beep",
                                             "msg[ERROR|ERROR: 13\r\nType mismatch: the baud rate in mbx.dat "
                                             "is not a number (\"      \")|critical]",
                                             kFailed, "busy:off"};
         },
         0, 0, 0},
        {"a comrig function missing",
         [](Station& s, IniTerminal&, std::string&) { s.fake.missingFunction = "ComGetc"; },
         [](const Station&, const std::string&) {
             return std::vector<std::string>{
                 "beep", "msg[ERROR|ERROR: 453\r\nFunction not found in library: ComGetc|critical]", kFailed,
                 "busy:off"};
         },
         1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Station s;
        IniTerminal terminal;
        terminal.attach(s.fake);
        s.write("a.ini", "ONE\r\nTWO\r\n");
        std::string path = s.file("a.ini");
        c.setup(s, terminal, path);
        s.transmit(path);

        std::vector<std::string> expected{"file[Select File to Download]", kAsk, "busy:on"};
        const std::vector<std::string> tail = c.messages(s, path);
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_THAT(s.ui.transcript(), ElementsAreArray(expected));
        EXPECT_EQ(terminal.sohSeen, c.sohSent);
        EXPECT_EQ(terminal.framesSeen, c.framesSent);
        EXPECT_EQ(terminal.eotSeen, c.eotSent);
        EXPECT_FALSE(s.fake.portOpen());
        EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Failed);
    }
}

// Beneath "Download Failed!": the step the terminal left unanswered; nothing where a box before said why.
TEST(SendIniFile, TheFailureSaysWhichStepTheTerminalLeftUnanswered) {
    struct Case {
        const char* what;
        std::function<void(Station&, IniTerminal&)> setup;
        std::string detail;
    };
    // The terminal acknowledges the lines before line n only.
    const auto refuseFrom = [](std::size_t n) {
        return [n](Station& s, IniTerminal& t) {
            s.fake.terminal = [&t, n, inner = s.fake.terminal](char byte) {
                t.ackFrames = t.lines.size() + 1 < n;
                inner(byte);
            };
        };
    };
    const Case cases[] = {
        {"no ACK to any SOH", [](Station&, IniTerminal& t) { t.ignoredSoh = 1000; },
         "The terminal did not answer the link request (50 SOH sent, no ACK). Is it in its DATA TRANSFER "
         "menu, option 2?"},
        {"line 1 refused", refuseFrom(1),
         "The terminal did not acknowledge line 1 of 3 (sent 3 times); the 2 lines after it were not sent."},
        {"line 2 refused", refuseFrom(2),
         "The terminal did not acknowledge line 2 of 3 (sent 3 times); the line after it was not sent."},
        {"the last line refused", refuseFrom(3),
         "The terminal did not acknowledge line 3 of 3 (sent 3 times)."},
        {"the end refused", [](Station&, IniTerminal& t) { t.ackEot = false; },
         "The terminal acknowledged every line (3 lines) but not the end of the transfer (3 EOT sent, no "
         "ACK)."},
        {"the port does not open", [](Station& s, IniTerminal&) { s.fake.openResult = -2; }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Station s;
        IniTerminal terminal;
        terminal.attach(s.fake);
        c.setup(s, terminal);
        s.write("a.ini", "ONE\r\nTWO\r\nTHREE\r\n");
        s.transmit(s.file("a.ini"));
        const std::vector<Message> shown = s.ui.messages();
        ASSERT_EQ(shown.back().text, "Download Failed!");
        EXPECT_EQ(shown.back().detail, c.detail);
    }
}

TEST(SendIniFile, TheErrorBoxComesBeforeThePortIsClosed) {
    Station s;
    IniTerminal terminal;
    terminal.attach(s.fake);
    s.fake.missingFunction = "ComWrite";
    s.write("a.ini", "ONE\r\n");
    s.transmit(s.file("a.ini"));
    // The question, the error box (port still open), "Download Failed!".
    EXPECT_THAT(s.ui.portOpenAtMessage, ElementsAre(false, true, false));
}

TEST(SendIniFile, NothingHappensWithoutAFileOrAYes) {
    Station s;
    s.commands().transmitIniFile();  // the dialog cancelled
    EXPECT_THAT(s.ui.transcript(), ElementsAre("file[Select File to Download]"));
    s.write("a.ini", "ONE\r\n");
    s.ui.clear();
    s.ui.queueFile(s.file("a.ini"));
    s.ui.queueAnswer(Answer::No);
    s.commands().transmitIniFile();
    EXPECT_THAT(s.ui.transcript(), ElementsAre("file[Select File to Download]", kAsk));
    EXPECT_TRUE(s.fake.calls().empty());
    EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::NotStarted);
}

TEST(SendIniFile, CtrlCEndsThroughTheErrorPathWithThePortClosed) {
    Station s;
    IniTerminal terminal;
    terminal.attach(s.fake);
    s.table = interruptibleComrig(s.table, [&] { return terminal.framesSeen >= 1; });
    s.write("a.ini", "ONE\r\nTWO\r\n");
    s.transmit(s.file("a.ini"));
    EXPECT_THAT(s.ui.transcript(),
                ElementsAre("file[Select File to Download]", kAsk, "busy:on", "beep",
                            "msg[ERROR|ERROR: 18\r\nUser interrupt occurred|critical]", kFailed, "busy:off"));
    EXPECT_FALSE(s.fake.portOpen());
    EXPECT_EQ(terminal.framesSeen, 1);
}

TEST(TransferGuard, ASecondTransferCannotStartWhileOneHoldsThePort) {
    Station s;
    IniTerminal terminal;
    terminal.attach(s.fake);
    std::vector<bool> changes;
    s.guard.setObserver([&](bool running) { changes.push_back(running); });
    // The window processes events during the handshake; a click there tries to start a receive.
    int nested = 0;
    s.table.ComSleepMS = [&, inner = s.table.ComSleepMS](std::int32_t port, std::int32_t ms) {
        if (nested++ == 0) {
            s.commands().receiveFile();
        }
        return inner(port, ms);
    };
    s.write("a.ini", "ONE\r\n");
    s.transmit(s.file("a.ini"));
    EXPECT_EQ(terminal.lines, std::vector<std::string>{"ONE"});
    EXPECT_THAT(changes, ElementsAre(true, false));
    EXPECT_THAT(s.ui.transcript(), ::testing::Not(::testing::Contains(::testing::HasSubstr("upload"))));
}

}  // namespace
}  // namespace formwell::link
