#include "formwell/link/program_load.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "formwell/common/app_error.h"
#include "formwell/testing/fake_loader.h"
#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"
#include "pushkit/testing/s2_image.h"

namespace formwell::link {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string kAsk = std::string("msg[Download ?|") + kLoadConfirmText + "|question]";
const std::string kFailed = "msg[Operation Cancelled|Download Failed!|info]";

// A PC with mbx.dat and the fake loader run straight on the caller's thread.
struct Bench {
    explicit Bench(const std::string& settingsLine = "Com2:9600  8N10") {
        if (!settingsLine.empty()) {
            formwell::testing::writeBytes(dir / kPortSettingsFileName, settingsLine);
        }
        runner = [this](const DownloadArguments& a) {
            if (raise) {
                throw *raise;
            }
            return runLoadOnWorker(loader.table(), a, nullptr);
        };
    }
    ProgramLoad& command() {
        if (!command_) {
            command_ =
                std::make_unique<ProgramLoad>(ui, dir.path().string(), runner, guard, overrides, history);
        }
        return *command_;
    }
    void load(const std::string& image = "/img/app.s2") {
        ui.queueFile(image);
        ui.queueAnswer(Answer::Yes);
        command().loadProgramInHht();
    }
    std::string writeImage(const std::string& name, const std::string& bytes) {
        const std::filesystem::path path = dir / name;
        formwell::testing::writeBytes(path, bytes);
        return path.string();
    }
    std::string detailOf(const std::string& title) const {
        for (const Message& m : ui.messages()) {
            if (m.title == title) {
                return m.detail;
            }
        }
        return "(no " + title + ")";
    }

    formwell::testing::TempDir dir;
    formwell::testing::FakeLoader loader;
    formwell::testing::RecordingInteraction ui;
    TransferGuard guard;
    LoadOverrides overrides;
    TransferHistory* history = nullptr;
    std::optional<AppError> raise;
    LoadRunner runner;

  private:
    std::unique_ptr<ProgramLoad> command_;
};

TEST(ProgramLoad, PassesTheSettingsInTheLoadersCodes) {
    const struct {
        const char* line;
        DownloadArguments expected;
    } cases[] = {
        {"Com2:9600  8N10", {"/img/app.s2", 2, 9600, 8, 0, 0, 0}},
        {"com3:19200 7o20", {"/img/app.s2", 3, 19200, 7, 1, 2, 0}},
        {"Com1:19200 8E10", {"/img/app.s2", 1, 19200, 8, 2, 0, 0}},
    };
    for (const auto& c : cases) {
        Bench b(c.line);
        b.load();
        EXPECT_THAT(b.loader.downloads(), ElementsAre(c.expected)) << c.line;
    }
    Bench overridden;
    overridden.overrides = LoadOverrides{4, 115200, 1};
    overridden.load();
    EXPECT_THAT(overridden.loader.downloads(),
                ElementsAre(DownloadArguments{"/img/app.s2", 4, 115200, 8, 0, 0, 1}));
}

TEST(ProgramLoad, ALoadThatRanLeavesItsHistoryLineAndOneThatDidNotNone) {
    Bench b("Com1:19200 8N10");
    TransferHistory history(b.dir / "state");
    b.history = &history;
    b.ui.queueFile("/img/app.s2");
    b.ui.queueAnswer(Answer::No);
    b.command().loadProgramInHht();
    EXPECT_FALSE(std::filesystem::exists(b.dir / "state" / kHistoryFileName));

    b.loader.result = -19;
    b.load();
    const std::string lines = formwell::testing::readBytes(b.dir / "state" / kHistoryFileName);
    EXPECT_NE(lines.find("\tLoad Program In HHT\tCOM1"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\t/img/app.s2\tfailed\tresult -19 ("), std::string::npos) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1);
    EXPECT_NE(formwell::testing::readBytes(b.dir / "state" / kTraceFileName).find("not traced"),
              std::string::npos);
}

TEST(ProgramLoad, EveryOutcomeWithItsMessagesInOrder) {
    const std::string timedOut =
        "msg[Formwell|Timed Out!  File Name: /img/app.s2 was not Downloaded to the Hand Held!|none]";
    const std::string notLoaded =
        "msg[Formwell|File Name: /img/app.s2 was not Downloaded to Hand Held!|none]";
    const std::string complete = "msg[Process Complete|Download Process Complete!|info]";
    // The description goes on to say which column of mbx.dat is wrong.
    const auto kTypeMismatch = ::testing::AllOf(::testing::StartsWith("msg[ERROR|ERROR: 13\r\nType mismatch"),
                                                ::testing::EndsWith("|critical]"));
    const struct {
        const char* what;
        std::string settingsLine;
        std::int32_t result;
        std::optional<AppError> raise;
        std::vector<::testing::Matcher<std::string>> expected;  // after the dialog and the question
        CommandOutcome outcome;
    } cases[] = {
        {"loaded",
         "Com1:19200 8N10",
         14,
         {},
         {"busy:on", "busy:off", "beep", complete},
         CommandOutcome::Succeeded},
        {"0 counts as success",
         "Com1:19200 8N10",
         0,
         {},
         {"busy:on", "busy:off", "beep", complete},
         CommandOutcome::Succeeded},
        {"time-out",
         "Com1:19200 8N10",
         -19,
         {},
         {"busy:on", timedOut, kFailed, "busy:off"},
         CommandOutcome::Failed},
        {"cancelled",
         "Com1:19200 8N10",
         -30,
         {},
         {"busy:on", notLoaded, kFailed, "busy:off"},
         CommandOutcome::Failed},
        {"no mbx.dat",
         "",
         14,
         {},
         {"busy:on", "beep", "msg[Invalid Action|Please set the parameter first for communication ...|info]",
          kFailed, "busy:off"},
         CommandOutcome::Failed},
        {"baud not a number",
         "Com1:fast  8N10",
         14,
         {},
         {"busy:on", "beep", kTypeMismatch, kFailed, "busy:off"},
         CommandOutcome::Failed},
        {"no parity letter",
         "Com1:19200 8X10",
         14,
         {},
         {"busy:on", "beep", kTypeMismatch, kFailed, "busy:off"},
         CommandOutcome::Failed},
        {"no library",
         "Com1:19200 8N10",
         14,
         AppError{48, "Error in loading library"},
         {"busy:on", "beep", "msg[ERROR|ERROR: 48\r\nError in loading library|critical]", kFailed,
          "busy:off"},
         CommandOutcome::Failed},
        {"no function",
         "Com1:19200 8N10",
         14,
         AppError{453, "Function not found in library"},
         {"busy:on", "beep", "msg[ERROR|ERROR: 453\r\nFunction not found in library|critical]", kFailed,
          "busy:off"},
         CommandOutcome::Failed},
    };
    for (const auto& c : cases) {
        Bench b(c.settingsLine);
        b.loader.result = c.result;
        b.raise = c.raise;
        b.load();
        std::vector<::testing::Matcher<std::string>> expected = {"busy:on", "file[Select File to Download]",
                                                                 kAsk};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_THAT(b.ui.transcript(), ElementsAreArray(expected)) << c.what;
        EXPECT_EQ(b.command().lastOutcome(), c.outcome) << c.what;
    }
}

TEST(ProgramLoad, NoFileOrNoEndsQuietlyAndNothingStartsBesideAnotherTransfer) {
    Bench b;
    b.command().loadProgramInHht();  // the dialog cancelled
    EXPECT_THAT(b.ui.transcript(), ElementsAre("busy:on", "file[Select File to Download]", "busy:off"));
    b.ui.clear();
    b.ui.queueFile("/img/app.s2");
    b.ui.queueAnswer(Answer::No);
    b.command().loadProgramInHht();
    EXPECT_THAT(b.ui.transcript(), ElementsAre("busy:on", "file[Select File to Download]", kAsk, "busy:off"));

    b.ui.clear();
    const TransferGuard::Scope otherTransfer(b.guard);
    b.load();
    EXPECT_TRUE(b.ui.transcript().empty());
    EXPECT_TRUE(b.loader.downloads().empty());
    EXPECT_EQ(b.command().lastOutcome(), CommandOutcome::NotStarted);
}

// A kind-103 image the check finds sound; `badRecords` more records with a wrong checksum.
std::string image103(int badRecords = 0) {
    std::string image = "S20E2000004B5452206279205A414EDC\r\n" +
                        pushkit::testing::applicationHeader(0x210000, "VKNV0100") +
                        pushkit::testing::s2Line(0x200200, std::vector<std::uint8_t>(16, 0x5A));
    for (int i = 0; i < badRecords; ++i) {
        std::string line = pushkit::testing::s2Line(0x200300 + 16 * i, std::vector<std::uint8_t>(16, 0x11));
        char& digit = line[line.size() - 3];
        digit = digit == '0' ? '1' : '0';
        image += line;
    }
    return image;
}

TEST(ProgramLoad, DownloadQuestionNamesThePortItsDeviceAndTheLineSettings) {
    ASSERT_EQ(::setenv("COM4", "/dev/ttyFORMWELL4", 1), 0);
    const struct {
        const char* line;
        const char* image;
        const char* detail;
    } cases[] = {
        {"Com4:19200 8N10", "/img/app.s2",
         "COM4 (/dev/ttyFORMWELL4): 19200 baud, 8 data bits, no parity, 1 stop bit"},
        {"Com4:9600  7E20", "/img/app.s2",
         "COM4 (/dev/ttyFORMWELL4): 19200 baud (9600 baud to a terminal answering RMT), 7 data bits, even "
         "parity, 2 stop bits"},
        {"Com4:9600  7E20", "/img/VKSAPP.HEX",
         "COM4 (/dev/ttyFORMWELL4): 115200 baud, 8 data bits, no parity, 1 stop bit"},
        {"", "/img/app.s2", ""},                 // no mbx.dat: reported after the question, as before
        {"Com4:fast  8N10", "/img/app.s2", ""},  // nor a broken one
    };
    for (const auto& c : cases) {
        Bench b(c.line);
        b.load(c.image);
        EXPECT_EQ(b.detailOf("Download ?"), c.detail) << c.line;
    }
    ::unsetenv("COM4");
}

TEST(ProgramLoad, AnImageTheCheckRefusesIsLoadedOnlyWhenThePersonSaysSo) {
    const std::string kCheck = std::string("msg[Image Check|") + kImageCheckText + "|warning]";
    Bench b;
    const std::string broken = b.writeImage("broken.s2", image103(12));
    b.ui.queueFile(broken);  // no scripted answer: the default, No
    b.command().loadProgramInHht();
    EXPECT_THAT(b.ui.transcript(),
                ElementsAre("busy:on", "file[Select File to Download]", kCheck, "busy:off"));
    EXPECT_EQ(b.ui.messages().front().defaultButton, Answer::No);
    const std::string detail = b.detailOf("Image Check");
    EXPECT_THAT(detail, ::testing::StartsWith("line 5: checksum "));  // after the header's two lines
    EXPECT_THAT(detail, ::testing::HasSubstr("\nline 14: checksum "));
    EXPECT_THAT(detail, ::testing::EndsWith(" (the loader never checks it)\n... and 2 more"));
    EXPECT_TRUE(b.loader.downloads().empty());
    EXPECT_EQ(b.command().lastOutcome(), CommandOutcome::NotStarted);

    b.ui.clear();
    b.ui.queueFile(broken);
    b.ui.queueAnswer(Answer::Yes);
    b.ui.queueAnswer(Answer::Yes);
    b.command().loadProgramInHht();
    EXPECT_THAT(b.ui.transcript(), ::testing::IsSupersetOf({kCheck, kAsk}));
    EXPECT_EQ(b.loader.downloads().size(), 1U);

    b.ui.clear();
    b.load(b.writeImage("sound.s2", image103()));
    EXPECT_THAT(b.ui.transcript(), ::testing::Not(::testing::Contains(kCheck)));
    EXPECT_EQ(b.command().lastOutcome(), CommandOutcome::Succeeded);

    Bench checkedByCaller;
    checkedByCaller.overrides.imageCheckedByCaller = true;
    checkedByCaller.load(checkedByCaller.writeImage("broken.s2", image103(1)));
    EXPECT_THAT(checkedByCaller.ui.transcript(), ::testing::Not(::testing::Contains(kCheck)));
}

TEST(ProgramLoad, AFailedLoadGivesItsResultAndWhetherTheTerminalsFlashWasChanged) {
    const std::string changed = flashWarning(FlashTouch::Changed);
    const std::string possibly = flashWarning(FlashTouch::Possibly);
    const struct {
        std::int32_t result;
        bool progress;
        bool markerImage;  // the image names kind 103, whose load writes markers first
        std::string detail;
    } cases[] = {
        {-19, true, false,
         "result: -19 (timed out: no acknowledgement after the full number of attempts)\n" + changed},
        {-30, false, false, "result: -30 (cancelled)\n" + possibly},
        {-25, false, false, "result: -25 (no acknowledgement of a flash erase)\n" + changed},
        {-14, false, false, "result: -14 (the terminal did not answer; is it in its loader menu?)"},
        {-23, false, false,
         "result: -23 (no acknowledgement of the erase notice or of the first line frame)"},
        {-23, false, true,
         "result: -23 (no acknowledgement of the erase notice or of the first line frame)\n" + possibly},
    };
    for (const auto& c : cases) {
        Bench b;
        b.loader.behaviour = [&c](const DownloadArguments&, formwell::testing::FakeLoader::Session& session) {
            if (c.progress) {
                session.progress(12.0);
            }
            return c.result;
        };
        b.load(c.markerImage ? b.writeImage("app.s2", image103()) : "/img/app.s2");
        EXPECT_EQ(b.detailOf("Operation Cancelled"), c.detail) << c.result;
    }
    ASSERT_EQ(::setenv("COM2", "/nonexistent/formwell-tty", 1), 0);
    Bench noPort;
    noPort.loader.result = -10;
    noPort.load();
    const std::string portDetail = noPort.detailOf("Operation Cancelled");
    ::unsetenv("COM2");
    EXPECT_THAT(portDetail, ::testing::StartsWith("result: -10 (the serial port could not be opened)\n"));
    EXPECT_THAT(portDetail, ::testing::HasSubstr("/nonexistent/formwell-tty"));
    Bench notLoaded("");  // no load ran: the cause was shown before, nothing beneath
    notLoaded.load();
    EXPECT_EQ(notLoaded.detailOf("Operation Cancelled"), "");
}

TEST(PushkitBinding, AMissingLibraryIs48AndAMissingFunction453) {
    const auto errorOf = [](const std::string& file) {
        try {
            (void)bindPushkit(file);
        } catch (const AppError& e) {
            return e.number;
        }
        return 0;
    };
    EXPECT_EQ(errorOf("libformwell-no-such-library.so"), errnum::kLibraryLoad);
    EXPECT_EQ(errorOf("libformwell-no-such-library.so"), errnum::kLibraryLoad);  // looked for again
    EXPECT_EQ(errorOf("libc.so.6"), errnum::kFunctionNotFound);                  // loads, and has no Download
    EXPECT_EQ(errorOf("libpushkit.so"), 0);                                      // ours, from the build
}

TEST(LoadWorker, ReportsProgressAndACancelEndsTheLoadWithMinus30) {
    formwell::testing::FakeLoader loader;
    loader.behaviour = formwell::testing::FakeLoader::untilCancelled;
    LoadWorker worker(loader.table());
    worker.start(DownloadArguments{"/img/app.s2", 1, 19200, 8, 0, 0, 0});
    ASSERT_TRUE(loader.waitUntilRunning());
    LoadSnapshot snapshot = worker.poll();
    while (snapshot.hookCalls < 3 && !snapshot.finished) {
        worker.waitFor(std::chrono::milliseconds(10));
        snapshot = worker.poll();
    }
    EXPECT_EQ(snapshot.percent, 50.0);
    EXPECT_FALSE(snapshot.finished);
    worker.cancel();
    EXPECT_EQ(worker.join(), -30);
    EXPECT_TRUE(worker.poll().finished);
    EXPECT_TRUE(worker.poll().cancelRequested);
}

TEST(LoadWorker, ACancelBeforeTheLoaderArmsItselfIsNotLost) {
    formwell::testing::FakeLoader loader;
    loader.behaviour = formwell::testing::FakeLoader::untilCancelled;
    LoadWorker worker(loader.table());
    worker.start(DownloadArguments{});
    worker.cancel();  // most likely before Download has set its run flag
    EXPECT_EQ(worker.join(), -30);
}

}  // namespace
}  // namespace formwell::link
