// send-ini and receive through the console, against the fake comrig: the wiring of options, answers,
// trace, Ctrl-C and exit statuses. What the transfers do is tested with the link layer.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <sstream>

#include "cli_app.h"
#include "command_table.h"
#include "formwell/testing/fake_comrig.h"
#include "formwell/testing/temp_dir.h"

namespace formwell::cli {
namespace {

using formwell::testing::DataTerminal;
using formwell::testing::FakeComrig;
using formwell::testing::IniTerminal;

struct Console {
    Console() { formwell::testing::writeBytes(dir / "mbx.dat", "Com1:9600  8N10"); }

    int run(const std::vector<std::string>& args, const std::string& input = {}) {
        std::istringstream in(input);
        CliEnvironment env{in,
                           out,
                           err,
                           false,
                           false,
                           dir.path().string(),
                           [this] { return interrupted; },
                           [this] { return fake.table(); }};
        return runCli(args, commandTable(), env);
    }

    formwell::testing::TempDir dir;
    FakeComrig fake;
    std::ostringstream out;
    std::ostringstream err;
    bool interrupted = false;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SendIniCommand, SendsTheFileAndTracesTheBytes) {
    Console c;
    IniTerminal terminal;
    terminal.attach(c.fake);
    formwell::testing::writeBytes(c.dir / "a.ini", "ONE\r\nTWO\r\n");
    EXPECT_EQ(c.run({"--yes", "--trace", "send-ini", (c.dir / "a.ini").string()}), 0) << c.err.str();
    EXPECT_EQ(terminal.lines, (std::vector<std::string>{"ONE", "TWO"}));
    EXPECT_TRUE(contains(c.err.str(), " ms  tx 01 (SOH)\n")) << c.err.str();
    EXPECT_TRUE(contains(c.err.str(), "Process Complete: Download Process Complete!\n"));
    EXPECT_EQ(c.out.str(), "");
}

TEST(SendIniCommand, NoAnswerIsNoAndAFailedOpenIsExplained) {
    Console c;
    formwell::testing::writeBytes(c.dir / "a.ini", "ONE\r\n");
    EXPECT_EQ(c.run({"send-ini", (c.dir / "a.ini").string()}), 1);  // standard input closed: No
    EXPECT_TRUE(c.fake.calls().empty());

    ::setenv("COM1", "/dev/formwell-no-such-cradle", 1);
    c.fake.openResult = -2;
    EXPECT_EQ(c.run({"send-ini", (c.dir / "a.ini").string()}, "y\n"), 1);
    ::unsetenv("COM1");
    // The reason, in the serial library's words, between the two messages.
    const std::string err = c.err.str();
    const std::size_t failure =
        err.find("Formwell: Failure to Initialize Serial Port!\n  COM1 is /dev/formwell-no-such-cradle");
    ASSERT_NE(failure, std::string::npos) << err;
    EXPECT_NE(err.find("does not exist", failure), std::string::npos) << err;
    EXPECT_NE(err.find("Operation Cancelled: Download Failed!\n", failure), std::string::npos) << err;
}

TEST(ReceiveCommand, PortAndDeviceFromTheCommandLineAndTheirMistakes) {
    Console c;
    DataTerminal terminal;
    terminal.script = {DataTerminal::frame("A"), DataTerminal::eot()};
    terminal.attach(c.fake);
    EXPECT_EQ(c.run({"receive", "--yes", "--port", "3", "--device", "/dev/formwell-cradle-3"}), 0)
        << c.err.str();
    ::unsetenv("COM3");
    EXPECT_TRUE(contains(c.err.str(), "COM3 (/dev/formwell-cradle-3): 9600 baud")) << c.err.str();
    EXPECT_TRUE(std::any_of(c.fake.calls().begin(), c.fake.calls().end(),
                            [](const auto& call) { return call.text.rfind("ComOpen(com,3,", 0) == 0; }));

    EXPECT_EQ(c.run({"receive", "--yes", "--port", "COM3"}), 2);
    EXPECT_EQ(c.run({"send-ini", "--yes", "--device", "", "a.ini"}), 2);
    EXPECT_TRUE(contains(c.err.str(), "--port takes a port number from 0 to 255")) << c.err.str();
    EXPECT_TRUE(contains(c.err.str(), "--device takes the path of a serial device")) << c.err.str();
}

TEST(ReceiveCommand, CtrlCClosesThePortAndFails) {
    Console c;
    DataTerminal terminal;
    terminal.script = {DataTerminal::frame("A"), DataTerminal::frame("B"), DataTerminal::eot()};
    terminal.attach(c.fake);
    c.fake.terminal = [&, inner = c.fake.terminal](char byte) {
        inner(byte);
        c.interrupted = terminal.acksSeen >= 1;  // Ctrl-C after the first record
    };
    EXPECT_EQ(c.run({"receive", "--yes"}), 1);
    EXPECT_FALSE(c.fake.portOpen());
    EXPECT_TRUE(contains(c.err.str(), "ERROR: ERROR: 18\nUser interrupt occurred\n")) << c.err.str();
    EXPECT_EQ(formwell::testing::readBytes(c.dir / "import.txt"), "A\r\n");
}

}  // namespace
}  // namespace formwell::cli
