// formwell-cli load in-process, against a fake loader: the check before the load, the settings
// passed on, the result printed, Ctrl-C, the progress report of a station's child, usage mistakes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "cli_run.h"
#include "formwell/link/loader_results.h"
#include "formwell/testing/fake_loader.h"
#include "formwell/testing/temp_dir.h"

namespace formwell::cli {
namespace {

using formwell::testing::FakeLoader;
using formwell::testing::writeBytes;

const std::string kSoundImage =
    "S20E2000004B5452206279205A414EDC\r\n"
    "S20520010000D9\r\n";

class LoadCommandTest : public ::testing::Test {
  protected:
    LoadCommandTest() {
        writeBytes(dir_ / "mbx.dat", "Com2:9600  8N10");
        writeBytes(dir_ / "app.s2", kSoundImage);
        std::string broken = kSoundImage;
        broken[broken.size() - 4] = 'A';  // the data record's checksum no longer matches
        writeBytes(dir_ / "broken.s2", broken);
        world_.pushkit = [this] { return loader_.table(); };
    }
    CliRun load(std::vector<std::string> extra) {
        std::vector<std::string> args = {"--dir", dir_.path().string(), "--yes", "load"};
        args.insert(args.end(), extra.begin(), extra.end());
        return runFormwellCli(args, dir_.path().string(), world_);
    }
    std::string image(const char* name) { return (dir_ / name).string(); }

    formwell::testing::TempDir dir_;
    FakeLoader loader_;
    CliWorld world_;
};

TEST_F(LoadCommandTest, ChecksTheImageThenLoadsWithTheSettingsAndPrintsTheResult) {
    const CliRun loaded = load({image("app.s2"), "--wake", "1"});
    EXPECT_EQ(loaded.status, kExitSuccess) << loaded.err;
    EXPECT_EQ(loaded.out, "result: 14 (S-record image loaded)\n");
    EXPECT_THAT(loaded.err, ::testing::HasSubstr("Process Complete: Download Process Complete!"));
    EXPECT_THAT(loader_.downloads(),
                ::testing::ElementsAre(link::DownloadArguments{image("app.s2"), 2, 9600, 8, 0, 0, 1}));

    const CliRun refused = load({image("broken.s2")});
    EXPECT_EQ(refused.status, kExitRefused);
    EXPECT_THAT(refused.err, ::testing::HasSubstr("broken.s2:2: problem: checksum"));
    EXPECT_EQ(loader_.downloads().size(), 1u);  // nothing sent

    loader_.result = -19;
    const CliRun forced = load({image("broken.s2"), "--force", "--port", "4", "--baud", "115200"});
    EXPECT_EQ(forced.status, kExitFailed);
    EXPECT_EQ(forced.out,
              "result: -19 (timed out: no acknowledgement after the full number of attempts)\n"
              "terminal: " +
                  link::flashWarning(link::FlashTouch::Possibly) + "\n");
    EXPECT_THAT(forced.err, ::testing::HasSubstr("Timed Out!  File Name: "));
    ASSERT_EQ(loader_.downloads().size(), 2u);
    EXPECT_EQ(loader_.downloads()[1].port, 4);
    EXPECT_EQ(loader_.downloads()[1].baud, 115200);
}

TEST_F(LoadCommandTest, CtrlCCancelsTheLoadAndEndsWith130) {
    loader_.behaviour = FakeLoader::untilCancelled;
    world_.interrupted = [this] { return !loader_.downloads().empty(); };
    const CliRun run = load({image("app.s2")});
    EXPECT_EQ(run.status, kExitCancelled);
    EXPECT_EQ(run.out,
              "result: -30 (cancelled)\nterminal: " + link::flashWarning(link::FlashTouch::Changed) + "\n");
    EXPECT_GE(loader_.cancelAllCalls(), 1);
    EXPECT_THAT(run.err, ::testing::HasSubstr("Ctrl-C: cancelling the load"));
}

TEST_F(LoadCommandTest, AStationsChildReportsItsProgressAndResultOnItsPipe) {
    loader_.behaviour = [](const link::DownloadArguments&, FakeLoader::Session& session) {
        session.progress(50.0);
        return 14;
    };
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const CliRun run = load({image("app.s2"), "--progress-fd", std::to_string(fds[1])});
    ::close(fds[1]);
    std::string report;
    char buffer[256];
    for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fds[0]);
    EXPECT_EQ(run.status, kExitSuccess);
    EXPECT_THAT(report, ::testing::HasSubstr("progress 50.0 "));
    EXPECT_THAT(report, ::testing::EndsWith("result 14\n"));
}

TEST_F(LoadCommandTest, UsageMistakesLoadNothing) {
    for (const std::vector<std::string>& extra :
         std::vector<std::vector<std::string>>{{image("app.s2"), "--wake", "3"},
                                               {image("app.s2"), "--port", "256"},
                                               {image("app.s2"), "--ports", "1,1"},
                                               {image("app.s2"), "--ports", "1,x"},
                                               {image("app.s2"), "--ports", "1,2", "--port", "1"}}) {
        EXPECT_EQ(load(extra).status, kExitUsage) << extra[1] << " " << extra[2];
    }
    EXPECT_TRUE(loader_.downloads().empty());
}

}  // namespace
}  // namespace formwell::cli
