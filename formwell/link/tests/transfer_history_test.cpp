#include "formwell/link/transfer_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "station.h"

namespace formwell::link {
namespace {

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TransferHistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("history-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
};

std::tm at(int hour, int minute) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

TEST(HistoryLine, IsOneTabSeparatedLineWhateverTheFieldsHold) {
    TransferRecord record;
    record.command = "Transmit ini File";
    record.port = 3;
    record.device = "/dev/ttyUSB0";
    record.file = "/home/u/odd\tname\r\n.ini";
    record.result = "failed";
    record.count = "3 of 12 lines";
    EXPECT_EQ(historyLine(record, at(17, 40)),
              "2026-12-09 17:40:00\tTransmit ini File\tCOM3 /dev/ttyUSB0\t/home/u/odd name  .ini\tfailed\t"
              "3 of 12 lines");
    record.detail = "The terminal did not acknowledge line 4 of 12.\nThe 8 lines after it were not sent.";
    const std::string line = historyLine(record, at(17, 40));
    EXPECT_EQ(line.substr(line.rfind('\t')),
              "\tThe terminal did not acknowledge line 4 of 12. The 8 lines after it were not sent.");
}

TEST_F(TransferHistoryTest, AHistoryPastItsBoundLosesItsOldestLinesOnly) {
    TransferHistory history(folder_ / "made" / "on demand", 1000);
    for (int i = 0; i < 60; ++i) {
        history.record(TransferRecord{"Receive File From HHT", 1, "", "import.txt", "succeeded",
                                      std::to_string(i) + " records", ""},
                       at(8, i));
        ASSERT_LE(std::filesystem::file_size(folder_ / "made" / "on demand" / kHistoryFileName), 1000U);
    }
    const std::string text = contentOf(folder_ / "made" / "on demand" / kHistoryFileName);
    EXPECT_NE(text.find("\t59 records\n"), std::string::npos);
    EXPECT_EQ(text.find("\t0 records\n"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(TransferHistoryTest, TheTraceHoldsTheLastTransferOnlyAndIsCutAtItsBound) {
    TransferHistory history(folder_, kHistoryMaxBytes, 96);
    history.traceStream() << "before any transfer\n";
    history.beginTrace("first");
    history.traceStream() << "tx 01 (SOH)\n";
    history.endTrace();
    history.traceStream() << "between transfers\n";
    history.beginTrace("a command that never reached the port");
    history.endTrace();
    const std::string first = contentOf(folder_ / kTraceFileName);
    EXPECT_EQ(first.rfind("Formwell: first, 20", 0), 0U) << first;
    EXPECT_EQ(first.substr(first.find('\n')), "\ntx 01 (SOH)\n");

    history.beginTrace("second");
    for (int i = 0; i < 10; ++i) {
        history.traceStream() << "rx 06 (ACK) " << i << '\n';
    }
    history.endTrace();
    const std::string text = contentOf(folder_ / kTraceFileName);
    EXPECT_EQ(text.rfind("Formwell: second, ", 0), 0U);
    EXPECT_NE(text.find("\nrx 06 (ACK) 0\n"), std::string::npos);
    EXPECT_NE(text.find("the trace was cut here"), std::string::npos);
    EXPECT_EQ(text.find("rx 06 (ACK) 9"), std::string::npos);
}

TEST_F(TransferHistoryTest, NoFolderKeepsNothingAndDisturbsNothing) {
    TransferHistory history({});
    history.record(TransferRecord{"Load Program In HHT", 1, "", "a.s2", "failed", "", ""});
    history.beginTrace("load");
    history.traceStream() << "text\n";
    history.endTrace();
    EXPECT_TRUE(history.traceStream().good());
}

TEST(TransferHistoryOfCommands, ATransferThatStartedLeavesItsLineAndItsTraceAndACancelledOneNeither) {
    Station s;
    TransferHistory history(s.dir / "state");
    s.history = &history;
    formwell::testing::IniTerminal terminal;
    terminal.attach(s.fake);
    s.write("a.ini", "ONE\r\nTWO\r\n");
    s.transmit(s.file("a.ini"));
    s.commands().transmitIniFile();  // the file dialog cancelled

    const std::string lines = contentOf(s.dir / "state" / kHistoryFileName);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    EXPECT_NE(lines.find("\tTransmit ini File\tCOM1"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\t" + s.file("a.ini") + "\tsucceeded\t2 of 2 lines\n"), std::string::npos) << lines;
    const std::string trace = contentOf(s.dir / "state" / kTraceFileName);
    EXPECT_EQ(trace.rfind("Formwell: Transmit ini File, ", 0), 0U);
    EXPECT_NE(trace.find("tx 01 (SOH)"), std::string::npos) << trace;
}

}  // namespace
}  // namespace formwell::link
