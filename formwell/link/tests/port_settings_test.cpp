#include "formwell/link/port_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"

namespace formwell::link {
namespace {

using formwell::testing::RecordingInteraction;
using formwell::testing::TempDir;
using ::testing::ElementsAre;

int errorNumberOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AppError& e) {
        return e.number;
    }
    return 0;
}

TEST(PortSettingsLine, WrittenThroughPadRightWithoutLineEnding) {
    struct Case {
        PortSettingsText text;
        std::string line;
    };
    const Case cases[] = {
        {{"Com2:", "19200", "8", "N", "1", "0"}, "Com2:19200 8N10"},
        {{"Com3:", "9600", "8", "N", "1", "0"}, "Com3:9600  8N10"},
        {{}, std::string(15, ' ')},                                      // nothing chosen
        {{"Com1:", "115200x", "8", "N", "1", "0"}, "Com1:115200x8N10"},  // never cut: shifts the rest
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatPortSettingsLine(c.text), c.line);
    }
}

TEST(PortSettingsLine, ColumnsByPositionIgnoringWhatFollows) {
    EXPECT_EQ(parsePortSettingsLine("Com2:19200 8N10"),
              (PortSettingsText{"Com2:", "19200 ", "8", "N", "1", "0"}));
    EXPECT_EQ(parsePortSettingsLine("Com2:19200 8N10\r\nrest"), parsePortSettingsLine("Com2:19200 8N10"));
    EXPECT_EQ(parsePortSettingsLine("Com2:19200 8N10xyz"), parsePortSettingsLine("Com2:19200 8N10"));
    EXPECT_EQ(parsePortSettingsLine("Com4:96"), (PortSettingsText{"Com4:", "96", "", "", "", ""}));
}

TEST(PortSettingsConversion, NumbersAndParityCodes) {
    struct Case {
        std::string line;
        std::int32_t port, baud, data, parity, stop;
    };
    const Case cases[] = {
        {"Com2:19200 8N10", 2, 19200, 8, 1, 1},
        {"com1:9600  8e11", 1, 9600, 8, 3, 1},    // lower case: port digit and parity still count
        {"Com3: 9600 7o20\n", 3, 9600, 7, 2, 2},  // blanks around the baud rate; a line break
        {"ComX:19200 8N10", 0, 19200, 8, 1, 1},   // not a digit: port 0
        {"Com9:300.5 8E1", 9, 300, 8, 3, 1},      // rounded half to even; no connector needed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const PortSettings s = portSettingsFromLine(c.line);
        EXPECT_EQ(s.PortNumber, c.port);
        EXPECT_EQ(s.BaudRate, c.baud);
        EXPECT_EQ(s.DataBits, c.data);
        EXPECT_EQ(s.Parity.number(), c.parity);
        EXPECT_EQ(s.StopBits, c.stop);
        EXPECT_EQ(s.FlowMode, 2);
    }
}

TEST(PortSettingsConversion, ColumnsThatAreNoNumberRaiseErrors) {
    EXPECT_EQ(errorNumberOf([] { portSettingsFromLine(std::string(15, ' ')); }), errnum::kTypeMismatch);
    EXPECT_EQ(errorNumberOf([] { portSettingsFromLine(""); }), errnum::kTypeMismatch);
    EXPECT_EQ(errorNumberOf([] { portSettingsFromLine("Com1:19200  N10"); }), errnum::kTypeMismatch);
    EXPECT_EQ(errorNumberOf([] { portSettingsFromLine("Com1:96x0  8N10"); }), errnum::kTypeMismatch);
    EXPECT_EQ(errorNumberOf([] { portSettingsFromLine("Com1:9e99998N10"); }), errnum::kOverflow);
    // Another parity character loads, and fails where it is used as a number.
    const PortSettings s = portSettingsFromLine("Com1:19200 8X10");
    EXPECT_FALSE(s.Parity.isCode());
    EXPECT_EQ(s.Parity.text(), "X");
    EXPECT_EQ(errorNumberOf([&] { (void)s.Parity.number(); }), errnum::kTypeMismatch);
}

TEST(PortSettingsFile, MissingFileBeepsAndTellsTheUser) {
    TempDir dir;
    RecordingInteraction ui;
    PortSettings settings;
    settings.BaudRate = 1234;
    EXPECT_FALSE(loadPortSettings(dir.path().string(), ui, settings));
    EXPECT_EQ(settings.BaudRate, 1234);
    EXPECT_THAT(
        ui.transcript(),
        ElementsAre("beep", "msg[Invalid Action|Please set the parameter first for communication ...|info]"));
}

TEST(PortSettingsFile, LoadsWhatTheWindowSaved) {
    TempDir dir;
    RecordingInteraction ui;
    const auto path = dir / kPortSettingsFileName;
    ASSERT_FALSE(writePortSettingsFile(path, {"Com3:", "9600", "8", "N", "1", "0"}));
    EXPECT_EQ(formwell::testing::readBytes(path), "Com3:9600  8N10");
    PortSettings settings;
    ASSERT_TRUE(loadPortSettings(dir.path().string(), ui, settings));
    EXPECT_EQ(settings.PortNumber, 3);
    EXPECT_EQ(settings.BaudRate, 9600);
    EXPECT_TRUE(ui.events().empty());

    formwell::testing::writeBytes(path, "");
    EXPECT_EQ(readPortSettingsLine(path), std::string());
    EXPECT_EQ(errorNumberOf([&] { loadPortSettings(dir.path().string(), ui, settings); }),
              errnum::kTypeMismatch);
}

TEST(PortSettingsFile, AFifoOrDirectoryIsRefusedWithoutWaiting) {
    TempDir dir;
    const auto path = dir / kPortSettingsFileName;
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(errorNumberOf([&] { readPortSettingsLine(path); }), errnum::kPathFileAccess);
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_EQ(errorNumberOf([&] { readPortSettingsLine(path); }), errnum::kPathFileAccess);
}

TEST(PortSettingsFile, JoinsTheStartupDirectoryAsText) {
    EXPECT_EQ(startupFile("/home/op", "mbx.dat"), "/home/op/mbx.dat");
    EXPECT_EQ(startupFile("/", "mbx.dat"), "/mbx.dat");
}

}  // namespace
}  // namespace formwell::link
