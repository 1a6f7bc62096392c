#include "console_interaction.h"

#include <gtest/gtest.h>

#include <sstream>

#include "formwell/common/app_error.h"

namespace formwell::cli {
namespace {

struct Console {
    explicit Console(std::string input = {}, ConsoleSettings settings = {})
        : in(std::move(input)), ui(in, err, std::move(settings)) {}
    std::istringstream in;
    std::ostringstream err;
    ConsoleInteraction ui;
};

TEST(ConsoleInteraction, MessagesAsTitleAndTextWithLineBreaks) {
    Console c;
    EXPECT_EQ(c.ui.show(information("Time out", "1-Connection Time Out. Please check ...")), Answer::Ok);
    c.ui.show(plainNotice("Failure to Initialize Serial Port!"));
    c.ui.show(critical("ERROR", "ERROR: 53\r\nFile not found"));
    EXPECT_EQ(c.err.str(),
              "Time out: 1-Connection Time Out. Please check ...\n"
              "Formwell: Failure to Initialize Serial Port!\n"
              "ERROR: ERROR: 53\nFile not found\n");
}

TEST(ConsoleInteraction, QuestionsAnsweredFromInputOrByYes) {
    const Message ask = question("Download ?", "Line one.\r\nContinue ?");
    struct Case {
        std::string input;
        bool assumeYes;
        Answer answer;
    };
    const Case cases[] = {
        {"y\n", false, Answer::Yes}, {" YES \n", false, Answer::Yes},
        {"n\n", false, Answer::No},  {"maybe\ny\n", false, Answer::Yes},
        {"", false, Answer::No},     {"maybe\n", false, Answer::No},
        {"", true, Answer::Yes},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.input);
        Console c(k.input, ConsoleSettings{k.assumeYes, false, false, {}});
        EXPECT_EQ(c.ui.show(ask), k.answer);
        EXPECT_EQ(c.err.str().rfind("Download ?: Line one.\nContinue ? [y/n] ", 0), 0u) << c.err.str();
    }
}

TEST(ConsoleInteraction, BeepOnlyOnATerminal) {
    Console plain;
    plain.ui.beep();
    EXPECT_EQ(plain.err.str(), "");
    Console terminal({}, ConsoleSettings{false, true, false, {}});
    terminal.ui.beep();
    EXPECT_EQ(terminal.err.str(), "\a");
}

TEST(ConsoleInteraction, CtrlCRaisesAUserInterruptAtTheNextStep) {
    bool pressed = false;
    Console c({}, ConsoleSettings{false, false, false, [&] { return pressed; }});
    EXPECT_NO_THROW(c.ui.processEvents());
    pressed = true;
    try {
        c.ui.processEvents();
        FAIL() << "no error raised";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number, 18);
        EXPECT_EQ(e.description, "User interrupt occurred");
    }
}

TEST(ConsoleInteraction, HasNoFileDialog) {
    Console c;
    EXPECT_EQ(c.ui.chooseFile({}), "");
    EXPECT_EQ(c.err.str(), "");
}

TEST(ConsoleInteraction, ProgressUpdatesOneLineOnATerminal) {
    Console c({}, ConsoleSettings{false, true, false, {}});
    c.ui.showProgress({"Transmit ini File", 1, 2, "lines", false});
    c.ui.show(plainNotice("x"));  // a message ends the progress line first
    c.ui.showProgress({"Transmit ini File", 2, 2, "lines", true});
    EXPECT_EQ(c.err.str(),
              "\r\x1b[KTransmit ini File: 1 of 2 lines\nFormwell: x\n"
              "\r\x1b[KTransmit ini File: 2 of 2 lines\n");
}

TEST(ConsoleInteraction, ProgressIsAFewPlainLinesOtherwise) {
    Console known;
    for (int i = 0; i <= 200; ++i) {
        known.ui.showProgress({"Transmit ini File", i, 200, "lines", i == 200});
    }
    EXPECT_EQ(known.err.str(),
              "Transmit ini File: 0 of 200 lines\nTransmit ini File: 50 of 200 lines\n"
              "Transmit ini File: 100 of 200 lines\nTransmit ini File: 150 of 200 lines\n"
              "Transmit ini File: 200 of 200 lines\n");
    Console open;
    for (int i = 0; i <= 120; ++i) {
        open.ui.showProgress({"Receive File From HHT", i, -1, "records", i == 120});
    }
    EXPECT_EQ(open.err.str(),
              "Receive File From HHT: 0 records\nReceive File From HHT: 1 record\n"
              "Receive File From HHT: 10 records\nReceive File From HHT: 100 records\n"
              "Receive File From HHT: 120 records\n");
}

}  // namespace
}  // namespace formwell::cli
