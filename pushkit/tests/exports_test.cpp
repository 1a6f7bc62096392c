// The shared library through its C exports, on a pseudo-terminal: the real port layer, the process-wide
// hook and run flag, and the guard against a second download.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "pushkit.h"
#include "serial/testing/pty_pair.h"

namespace {

namespace fs = std::filesystem;
using serial::testing::PtyPair;
using serial::testing::ScopedEnv;

// Port 458 has the low byte 202: Download and the hook both use only that.
constexpr int32_t kPortArgument = 458;
constexpr int32_t kPortLowByte = 202;

struct HookLog {
    std::vector<int32_t> ports;
    std::vector<double> percents;
    std::vector<int32_t> nestedResults;
    std::string imagePath;
    bool cancel = false;
};
HookLog g_hookLog;

void PUSHKIT_CALL recordingHook(int32_t port, double percent) {
    g_hookLog.ports.push_back(port);
    g_hookLog.percents.push_back(percent);
    // A second download while this one runs must be refused without touching the port.
    g_hookLog.nestedResults.push_back(
        Download(g_hookLog.imagePath.c_str(), kPortArgument, 19200, 8, 0, 0, 0));
    if (g_hookLog.cancel) {
        CancelAll();
    }
}

// Holds the first progress report until the other thread has cancelled, so the cancel arrives while
// the download is under way.
std::promise<void> g_reported;
std::promise<void> g_cancelled;
void PUSHKIT_CALL waitingHook(int32_t, double) {
    g_reported.set_value();
    g_cancelled.get_future().wait();
}

class ExportsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("pushkit-exports-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        g_hookLog = {};
    }
    void TearDown() override {
        SetDownloadProgressHook(nullptr);
        fs::remove_all(dir_);
    }
    std::string image(const std::string& name, std::size_t size) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << std::string(size, ':');
        return path.string();
    }

    PtyPair pty_;
    ScopedEnv device_{"COM" + std::to_string(kPortLowByte), pty_.slavePath()};
    fs::path dir_;
};

TEST_F(ExportsTest, FailuresComeBackAsResultsNotCrashes) {
    ScopedEnv missing("COM203", std::string("/nonexistent/tty-for-pushkit"));
    EXPECT_EQ(Download(image("VKD.hex", 10).c_str(), 203, 19200, 8, 0, 0, 0), -10);
    EXPECT_EQ(Download(nullptr, kPortArgument, 19200, 8, 0, 0, 0), -11);
    EXPECT_EQ(Download(dir_.string().c_str(), kPortArgument, 19200, 8, 0, 0, 0), -11);
    EXPECT_EQ(Download(image("XYZ.hex", 10).c_str(), kPortArgument, 19200, 8, 0, 0, 0), -12);
}

TEST_F(ExportsTest, RawStreamReportsProgressAndCancelsFromTheHook) {
    // Cancelling before a download has no effect on it: the run flag is armed at its start.
    CancelAll();
    EXPECT_EQ(SetDownloadProgressHook(recordingHook), recordingHook);
    g_hookLog.imagePath = image("vkd-small.HEX", 100);
    EXPECT_EQ(Download(g_hookLog.imagePath.c_str(), kPortArgument, 19200, 8, 0, 0, 0), 10);
    EXPECT_EQ(pty_.receive(100).size(), 100u);
    ASSERT_EQ(g_hookLog.ports.size(), 1u);
    EXPECT_EQ(g_hookLog.ports[0], kPortLowByte);
    EXPECT_DOUBLE_EQ(g_hookLog.percents[0], 100.0);
    EXPECT_EQ(g_hookLog.nestedResults, std::vector<int32_t>{-36});

    // Three chunks' worth; the hook cancels after the first, so the second never goes out.
    g_hookLog = {};
    g_hookLog.cancel = true;
    g_hookLog.imagePath = image("VKF.hex", 3 * 4096);
    EXPECT_EQ(Download(g_hookLog.imagePath.c_str(), kPortArgument, 19200, 8, 0, 0, 0), -30);
    EXPECT_EQ(g_hookLog.ports.size(), 1u);
    EXPECT_EQ(pty_.receive(3 * 4096, std::chrono::milliseconds(200)).size(), 4096u);

    // With no hook the transfer runs the same, and the port is free again for the next download.
    SetDownloadProgressHook(nullptr);
    g_hookLog = {};
    EXPECT_EQ(Download(image("VKL.hex", 10).c_str(), kPortArgument, 19200, 8, 0, 0, 0), 10);
    EXPECT_TRUE(g_hookLog.ports.empty());
}

TEST_F(ExportsTest, CancelAllFromAnotherThreadEndsTheDownload) {
    SetDownloadProgressHook(waitingHook);
    const std::string path = image("VKF.hex", 3 * 4096);
    std::future<int32_t> result = std::async(
        std::launch::async, [&path] { return Download(path.c_str(), kPortArgument, 19200, 8, 0, 0, 0); });
    g_reported.get_future().wait();
    CancelAll();
    g_cancelled.set_value();
    EXPECT_EQ(result.get(), -30);
    EXPECT_EQ(pty_.receive(3 * 4096, std::chrono::milliseconds(200)).size(), 4096u);
}

}  // namespace
