#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>

#include "formwell/link/data_file_lock.h"
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
    const std::string readFailed = "msg[Formwell|1-Please check the configuration ...|info]";
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
         {"msg[Formwell|1-Error occured 0 ...|info]", "busy:off", "beep", kFailed, "busy:off"}},
        {"an odd result after a stored record",
         [](Station& s, DataTerminal&) {
             s.fake.readResult = [](int n) {
                 return n == 2 ? std::optional<std::int32_t>(-5) : std::nullopt;
             };
         },
         {"msg[Formwell|1-Error occured True ...|info]", "busy:off", "beep", kFailed, "busy:off"}},
        {"a frame too short to hold a record",
         [](Station&, DataTerminal& t) {
             t.script = {DataTerminal::Item{"\x02\x03\x01", true}};
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
        // Without the settings or the port import.txt is left alone; after them it is kept aside first.
        const bool hadThePort = s.fake.countOf("ComOpen") > 0 && s.fake.openResult >= 0;
        EXPECT_EQ(s.read(hadThePort ? "import.txt.bak" : "import.txt"), "OLD\r\n");
        EXPECT_EQ(std::filesystem::exists(s.dir / "import.txt.bak"), hadThePort);
        EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Failed);
    }
}

// Beneath the result box: why a receive stopped, then what import.txt holds now and where the content
// it had before is kept.
TEST(ReceiveDataFile, TheResultSaysWhyItStoppedAndWhatWasStoredWhere) {
    const auto good = [](const char* r) { return DataTerminal::frame(r); };
    const auto bad = [](const char* r) { return DataTerminal::badFrame(r); };
    struct Case {
        const char* what;
        std::vector<DataTerminal::Item> script;
        std::function<void(Station&, DataTerminal&)> setup;
        std::string detail;  // @ stands for import.txt's full path
    };
    const auto none = [](Station&, DataTerminal&) {};
    const Case cases[] = {
        {"complete", {good("A"), good("B"), DataTerminal::eot()}, none, "2 records stored in @."},
        {"complete, nothing to send", {DataTerminal::eot()}, none, "No records stored in @."},
        {"no ACK to any SOH",
         {},
         [](Station&, DataTerminal& t) { t.answerSoh = false; },
         "The terminal did not answer the link request (25 SOH sent, no ACK). Is it in its DATA TRANSFER "
         "menu, option 1?\nNo records stored in @."},
        {"silence after a record",
         {good("A")},
         none,
         "Neither a record nor the end of the data came within 5 s after record 1.\n1 record stored in @."},
        {"bad check bytes after a record",
         {good("A"), bad("B"), bad("B")},
         none,
         "The check byte did not match in 2 frames in a row after record 1.\n1 record stored in @."},
        {"no frame's end",
         {},
         [](Station& s, DataTerminal&) {
             s.fake.readResult = [](int) { return std::optional<std::int32_t>(1); };
         },
         "200 bytes came without the end of a frame before the first record.\nNo records stored in @."},
        {"the adapter pulled out after a record",
         {good("A"), good("B")},
         [](Station& s, DataTerminal&) {
             s.fake.readResult = [&s](int read) -> std::optional<std::int32_t> {
                 if (read < 2) {
                     return std::nullopt;
                 }
                 s.fake.loseLine();
                 return -1;
             };
         },
         "The port's device went away or its line hung up after record 1 (the cradle's USB adapter "
         "unplugged?). Plug it in again and repeat the transfer.\n1 record stored in @."},
        {"a read that fails on a line still there",
         {good("A"), good("B")},
         [](Station& s, DataTerminal&) {
             s.fake.readResult = [](int read) {
                 return read < 2 ? std::nullopt : std::optional<std::int32_t>(-1);
             };
         },
         "The port could not be read after record 1.\n1 record stored in @."},
        {"the port does not open",
         {},
         [](Station& s, DataTerminal&) { s.fake.openResult = -4; },
         "Nothing was received; @ was left as it was."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Station s;
        DataTerminal terminal;
        terminal.script = c.script;
        c.setup(s, terminal);
        terminal.attach(s.fake);
        s.receive();
        std::string expected = c.detail;
        expected.replace(expected.find('@'), 1, s.file("import.txt"));
        EXPECT_EQ(s.ui.messages().back().detail, expected);
    }
}

TEST(ReceiveDataFile, TheResultNamesTheCopyOfWhatImportTxtHeldBefore) {
    Station s;
    DataTerminal terminal;
    terminal.script = {DataTerminal::eot()};
    terminal.attach(s.fake);
    s.write("import.txt", "OLD\r\n");
    s.receive();
    const std::string detail = s.ui.messages().back().detail;
    const std::string lead = "What it held before is kept in ";
    const std::size_t at = detail.find(lead);
    ASSERT_NE(at, std::string::npos) << detail;
    std::string name = detail.substr(at + lead.size());
    ASSERT_TRUE(name.ends_with(".")) << detail;
    name.pop_back();
    EXPECT_TRUE(name.starts_with("import.txt.2")) << name;
    EXPECT_EQ(s.read(name), "OLD\r\n");
}

TEST(ReceiveDataFile, TheErrorHandlerClosesThePortBeforeItsBox) {
    Station s;
    DataTerminal terminal;
    terminal.script = {DataTerminal::Item{"\x02\x03\x01", true}};
    terminal.attach(s.fake);
    s.receive();
    // The question, the error box (port already closed), "Data Upload Failed ...".
    EXPECT_THAT(s.ui.portOpenAtMessage, ElementsAre(false, false, false));
    EXPECT_EQ(terminal.acksSeen, 0);  // a record that could not be stored is not acknowledged
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

// The terminal forgets a record once it has its ACK: by then the record must be in the file, and a
// record that cannot be stored is not acknowledged. A file that cannot grow keeps its whole records.
TEST(ReceiveDataFile, ARecordIsInTheFileBeforeItsAckAndOnlyThen) {
    Station s;
    DataTerminal terminal;
    terminal.script = {DataTerminal::frame("ABCDEFG"), DataTerminal::frame("HIJKLMN"), DataTerminal::eot()};
    terminal.attach(s.fake);
    std::vector<std::string> fileAtAck;
    auto answer = s.fake.terminal;
    s.fake.terminal = [&](char c) {
        if (c == kAck) {
            fileAtAck.push_back(s.read("import.txt"));
        }
        answer(c);
    };
    // Room for the first line and a part of the second.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit previousLimit = limit;
    limit.rlim_cur = 12;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    s.receive();
    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(fileAtAck, std::vector<std::string>{"ABCDEFG\r\n"});
    EXPECT_EQ(terminal.acksSeen, 1);
    EXPECT_EQ(s.read("import.txt"), "ABCDEFG\r\n");
    EXPECT_THAT(s.ui.transcript()[3], ::testing::StartsWith("msg[ERROR|ERROR: 75\r\n"));
}

// Line noise or a late check byte before a frame's STX is no part of the record, even where it leaves
// the check byte right (a pair of equal bytes); a late check byte that is an EOT is no end of data.
TEST(ReceiveDataFile, OnlyAFrameFromItsStxIsARecordAndOnlyAnEotOutsideAFrameEndsTheData) {
    {
        Station s;
        DataTerminal terminal;
        DataTerminal::Item noisy = DataTerminal::frame("REC003;7");
        noisy.bytes.insert(0, std::string("\0\0", 2));
        terminal.script = {noisy, DataTerminal::frame("REC004;1"), DataTerminal::eot()};
        terminal.attach(s.fake);
        s.receive();
        EXPECT_EQ(s.read("import.txt"), "REC003;7\r\nREC004;1\r\n");
        EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Succeeded);
    }
    {
        // "CA" has the check byte 0x04. The terminal sends the frame, its check byte 300 ms later, and
        // the frame again when no ACK has come.
        Station s;
        DataTerminal terminal;
        DataTerminal::Item frame = DataTerminal::frame("CA");
        ASSERT_EQ(frame.bytes.back(), kEot);
        DataTerminal::Item withoutCheck{frame.bytes.substr(0, frame.bytes.size() - 1), false};
        terminal.script = {withoutCheck, DataTerminal::eot(), frame, DataTerminal::eot()};
        terminal.resendMs = 300;
        terminal.attach(s.fake);
        s.receive();
        EXPECT_EQ(s.read("import.txt"), "CA\r\n");
        EXPECT_EQ(terminal.acksSeen, 1);
        EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Succeeded);
    }
}

// One receive per start-up directory: a second one is refused before it touches import.txt, its
// copies or the port, and says who holds the folder.
TEST(ReceiveDataFile, ASecondReceiveIntoTheFolderIsRefusedAndTouchesNothing) {
    Station s;
    DataTerminal terminal;
    terminal.script = {DataTerminal::frame("A"), DataTerminal::eot()};
    terminal.attach(s.fake);
    s.write("import.txt", "NOT YET IMPORTED\r\n");
    DataFileLock running;
    ASSERT_EQ(running.acquire(s.file(kDataLockFileName)), DataFileLock::Outcome::Held);
    std::string holder = formwell::testing::readBytes(s.dir / kDataLockFileName);
    ASSERT_NE(holder.find("(pid " + std::to_string(::getpid()) + ")\n"), std::string::npos);
    holder.pop_back();
    s.receive();
    EXPECT_EQ(s.ui.transcript()[3], "msg[Invalid Action|import.txt in this folder is being received by " +
                                        holder + ". Try again when that receive has ended ...|info]");
    EXPECT_EQ(s.read("import.txt"), "NOT YET IMPORTED\r\n");
    EXPECT_FALSE(std::filesystem::exists(s.dir / "import.txt.bak"));
    EXPECT_EQ(s.fake.countOf("ComOpen"), 0);
    running.release();
    s.receive();
    EXPECT_EQ(s.read("import.txt"), "A\r\n");
}

// Failed receives in a row: each one's earlier content stays in a copy of its own.
TEST(ReceiveDataFile, EveryEmptiedContentIsKeptInACopyOfItsOwn) {
    Station s;
    s.write("import.txt", "FIRST\r\n");
    for (const char* record : {"SECOND", "THIRD"}) {
        DataTerminal terminal;
        terminal.script = {DataTerminal::frame(record)};  // then silence: the receive fails
        terminal.attach(s.fake);
        s.receive();
        EXPECT_EQ(s.commands().lastOutcome(), CommandOutcome::Failed);
    }
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(s.dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("import.txt.") && name != "import.txt.bak") {
            kept.push_back(s.read(name));
        }
    }
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"FIRST\r\n", "SECOND\r\n"}));
    EXPECT_EQ(s.read("import.txt"), "THIRD\r\n");
    EXPECT_FALSE(std::filesystem::exists(s.dir / kDataLockFileName));
}

}  // namespace
}  // namespace formwell::link
