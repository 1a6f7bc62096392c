#include "formwell/link/program_load.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "formwell/common/app_error.h"
#include "formwell/testing/fake_loader.h"
#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"

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
            command_ = std::make_unique<ProgramLoad>(ui, dir.path().string(), runner, guard, overrides);
        }
        return *command_;
    }
    void load(const std::string& image = "/img/app.s2") {
        ui.queueFile(image);
        ui.queueAnswer(Answer::Yes);
        command().loadProgramInHht();
    }

    formwell::testing::TempDir dir;
    formwell::testing::FakeLoader loader;
    formwell::testing::RecordingInteraction ui;
    TransferGuard guard;
    LoadOverrides overrides;
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
