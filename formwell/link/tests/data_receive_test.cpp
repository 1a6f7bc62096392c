#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "formwell/testing/fake_comrig.h"
#include "station.h"

namespace formwell::link {
namespace {

using formwell::testing::DataTerminal;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string kAsk = std::string("msg[Download ?|") + kReceiveConfirmText + "|question]";
const std::string kFailed = "msg[Upload Failed|Data Upload Failed ...|info]";
const std::string kComplete = "msg[Upload Complete|Upload Complete ...|info]";

TEST(ReceiveDataFile, RecordsAreStoredAsSentUntilTheTerminalsEot) {
    Station s;
    DataTerminal terminal;
    terminal.script = {DataTerminal::frame("4711;12  "), DataTerminal::frame(""), DataTerminal::frame("x"),
                       DataTerminal::eot()};
    terminal.attach(s.fake);
    s.write("import.txt", "yesterday\r\n");
    s.receive();

    // Trailing blanks of a record stay; an empty record is an empty line.
    EXPECT_EQ(s.read("import.txt"), "4711;12  \r\n\r\nx\r\n");
    EXPECT_EQ(s.read("import.txt.bak"), "yesterday\r\n");
    EXPECT_EQ(terminal.acksSeen, 3);
    EXPECT_EQ(s.fake.sent(), std::string({kSoh, kAck, kAck, kAck}));  // no EOT of the PC's own
    EXPECT_THAT(s.ui.transcript(), ElementsAre("busy:on", kAsk, "busy:off", "beep", kComplete, "busy:off"));
    EXPECT_FALSE(s.fake.portOpen());
    EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Succeeded);
    EXPECT_EQ(progressText(s.ui.progressReports().back()), "Receive File From HHT: 3 records");
    // Flushed after the flow is set and before the first SOH.
    const std::vector<std::string> names = s.fake.callNames();
    EXPECT_THAT(
        std::vector<std::string>(names.begin(), names.begin() + 6),
        ElementsAre("ComClose", "ComOpen", "ComSetFlow", "ComFlush", "ComFlushImmediate", "ComSleepMS"));
}

TEST(ReceiveDataFile, TheBadFrameCounter) {
    const auto good = [](const char* r) { return DataTerminal::frame(r); };
    const auto bad = [](const char* r) { return DataTerminal::badFrame(r); };
    struct Case {
        const char* what;
        std::vector<DataTerminal::Item> script;
        std::string stored;
        bool complete;
    };
    const Case cases[] = {
        {"three bad before any good",
         {bad("A"), bad("A"), bad("A"), good("A"), DataTerminal::eot()},
         "",
         false},
        {"two bad after a good one",
         {good("A"), bad("B"), bad("B"), good("B"), DataTerminal::eot()},
         "A\r\n",
         false},
        {"bad ones between good ones",
         {good("A"), bad("B"), good("B"), bad("C"), good("C"), DataTerminal::eot()},
         "A\r\nB\r\nC\r\n",
         true},
        {"two bad before the first good",
         {bad("A"), bad("A"), good("A"), DataTerminal::eot()},
         "A\r\n",
         true},
        {"EOT right after the handshake", {DataTerminal::eot()}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Station s;
        DataTerminal terminal;
        terminal.script = c.script;
        terminal.attach(s.fake);
        s.receive();
        EXPECT_EQ(s.read("import.txt"), c.stored);
        const std::vector<std::string> tail =
            c.complete ? std::vector<std::string>{"busy:off", "beep", kComplete, "busy:off"}
                       : std::vector<std::string>{"beep", kFailed, "busy:off"};  // no message of its own
        std::vector<std::string> expected{"busy:on", kAsk};
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_THAT(s.ui.transcript(), ElementsAreArray(expected));
        EXPECT_FALSE(s.fake.portOpen());
    }
}

TEST(ReceiveDataFile, EachFailingStepShowsItsMessagesInOrderAndClosesThePort) {
    struct Case {
        const char* what;
        std::function<void(Station&, DataTerminal&)> setup;
        std::vector<std::string> messages;  // after the question
    };
    const std::string readFailed = "msg[Formwell|1-Please check the configuration ...|none]";
    const Case cases[] = {
        {"no mbx.dat",
         [](Station& s, DataTerminal&) { std::filesystem::remove(s.dir / "mbx.dat"); },
         {"beep", "msg[Invalid Action|Please set the parameter first for communication ...|info]", "beep",
          kFailed, "busy:off"}},
        {"the port does not open",
         [](Station& s, DataTerminal&) { s.fake.openResult = -4; },
         {"msg[Formwell|Failure to Initialize Serial Port!|none]", "beep", kFailed, "busy:off"}},
        {"no ACK to 25 SOH",
         [](Station&, DataTerminal& t) { t.answerSoh = false; },
         {"beep", kFailed, "busy:off"}},
        {"the read fails",
         [](Station& s, DataTerminal&) {
             s.fake.readResult = [](int) { return std::optional<std::int32_t>(-1); };
         },
         {readFailed, "busy:off", "beep", kFailed, "busy:off"}},
        {"silence instead of a frame",
         [](Station&, DataTerminal& t) { t.script.clear(); },
         {"msg[Time out|1-Connection Time Out. Please check the configuration and cabling ...|info]",
          "busy:off", "beep", kFailed, "busy:off"}},
        {"an overlong frame",
         [](Station& s, DataTerminal&) {
             s.fake.readResult = [](int) { return std::optional<std::int32_t>(1); };
         },
         {"msg[Formwell|1-Error occured 0 ...|none]", "busy:off", "beep", kFailed, "busy:off"}},
        {"an odd result after a stored record",
         [](Station& s, DataTerminal&) {
             s.fake.readResult = [](int n) {
                 return n == 2 ? std::optional<std::int32_t>(-5) : std::nullopt;
             };
         },
         {"msg[Formwell|1-Error occured True ...|none]", "busy:off", "beep", kFailed, "busy:off"}},
        {"a frame too short to hold a record",
         [](Station&, DataTerminal& t) {
             t.script = {DataTerminal::Item{"\x03\x03", true}};
         },
         {"beep", "msg[ERROR|ERROR: 5\r\nInvalid procedure call or argument|critical]", "beep", kFailed,
          "busy:off"}},
        {"a comrig function missing",
         [](Station& s, DataTerminal&) { s.fake.missingFunction = "ComFlushImmediate"; },
         {"beep", "msg[ERROR|ERROR: 453\r\nFunction not found in library: ComFlushImmediate|critical]",
          "beep", kFailed, "busy:off"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Station s;
        DataTerminal terminal;
        terminal.script = {DataTerminal::frame("A"), DataTerminal::eot()};
        c.setup(s, terminal);
        terminal.attach(s.fake);
        s.write("import.txt", "OLD\r\n");
        s.receive();

        std::vector<std::string> expected{"busy:on", kAsk};
        expected.insert(expected.end(), c.messages.begin(), c.messages.end());
        EXPECT_THAT(s.ui.transcript(), ElementsAreArray(expected));
        EXPECT_FALSE(s.fake.portOpen());
        EXPECT_EQ(s.read("import.txt.bak"), "OLD\r\n");  // emptied in every case, kept aside first
        EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Failed);
    }
}

TEST(ReceiveDataFile, TheErrorHandlerClosesThePortBeforeItsBox) {
    Station s;
    DataTerminal terminal;
    terminal.script = {DataTerminal::Item{"\x03\x03", true}};
    terminal.attach(s.fake);
    s.receive();
    // The question, the error box (port already closed), "Data Upload Failed ...".
    EXPECT_THAT(s.ui.portOpenAtMessage, ElementsAre(false, false, false));
    EXPECT_EQ(terminal.acksSeen, 1);  // the frame was acknowledged before it could not be stored
}

TEST(ReceiveDataFile, AnEmptyImportFileLeavesTheBackupAlone) {
    Station s;
    DataTerminal terminal;
    terminal.script = {DataTerminal::eot()};
    terminal.attach(s.fake);
    s.write("import.txt", "");
    s.write("import.txt.bak", "older\r\n");
    s.receive();
    EXPECT_EQ(s.read("import.txt.bak"), "older\r\n");
}

}  // namespace
}  // namespace formwell::link
