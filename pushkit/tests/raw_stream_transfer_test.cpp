// Raw stream: the image's bytes in 4096-byte chunks while the terminal holds CTS on.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "download_result.h"
#include "pushkit/testing/scripted_terminal.h"
#include "transfers.h"

namespace pushkit::testing {
namespace {

class RawStreamTest : public ::testing::Test {
  protected:
    DownloadResult run(std::string_view image) {
        TransferContext ctx{*port, runFlag,
                            [this](int, double percent) {
                                hookValues.push_back(percent);
                                if (cancelInHook) {
                                    runFlag = 0;
                                }
                            },
                            2};
        return runRawStream(ctx, image);
    }

    static std::string imageOf(std::size_t size) {
        std::string image(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            image[i] = static_cast<char>('0' + i % 43);
        }
        return image;
    }

    ScriptedTerminal terminal;
    std::unique_ptr<Port> port = terminal.openPort();
    std::atomic<std::int32_t> runFlag{1};
    std::vector<double> hookValues;
    bool cancelInHook = false;
};

struct StreamCase {
    std::size_t size;
    std::vector<std::size_t> chunks;
    std::vector<double> hook;
};

TEST_F(RawStreamTest, ChunksAndProgress) {
    const StreamCase cases[] = {
        // A whole number of chunks ends with one more pass that writes nothing.
        {8192, {4096, 4096}, {50.0, 100.0, 100.0}},
        {5000, {4096, 904}, {4096 * 100.0 / 5000, 100.0}},
        {10, {10}, {100.0}},
        // An empty image: one pass, nothing written, reported as complete.
        {0, {}, {100.0}},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.size);
        ScriptedTerminal t;
        auto p = t.openPort();
        std::vector<double> values;
        TransferContext ctx{*p, runFlag, [&values](int, double v) { values.push_back(v); }, 2};
        const std::string image = imageOf(c.size);
        EXPECT_EQ(runRawStream(ctx, image), DownloadResult::HexLoaded);
        std::vector<std::size_t> chunks;
        for (const Bytes& w : t.writes()) {
            chunks.push_back(w.size());
        }
        EXPECT_EQ(chunks, c.chunks);
        EXPECT_EQ(t.writtenStream(), bytesOf(image));
        EXPECT_EQ(values, c.hook);
        EXPECT_EQ(t.count(EventKind::Cts), c.hook.size());
    }
}

TEST_F(RawStreamTest, CtsOffStopsBeforeTheNextChunk) {
    terminal.setCts([](std::size_t) { return false; });
    EXPECT_EQ(run(imageOf(100)), DownloadResult::CtsOff);
    EXPECT_TRUE(terminal.writes().empty());

    ScriptedTerminal t;
    t.setCts([](std::size_t query) { return query < 1; });
    auto p = t.openPort();
    TransferContext ctx{*p, runFlag, {}, 2};
    EXPECT_EQ(runRawStream(ctx, imageOf(9000)), DownloadResult::CtsOff);
    EXPECT_EQ(t.writtenStream().size(), 4096u);
}

TEST_F(RawStreamTest, CancelAndWriteFailure) {
    cancelInHook = true;
    EXPECT_EQ(run(imageOf(9000)), DownloadResult::Cancelled);
    EXPECT_EQ(terminal.writes().size(), 1u);

    ScriptedTerminal t;
    t.failWritesFrom(1);
    auto p = t.openPort();
    std::atomic<std::int32_t> flag{1};
    TransferContext ctx{*p, flag, {}, 2};
    EXPECT_EQ(runRawStream(ctx, imageOf(9000)), DownloadResult::WriteFailed);
}

}  // namespace
}  // namespace pushkit::testing
