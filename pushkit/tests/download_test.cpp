#include "download.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "abi_result.h"
#include "pushkit/image/image_file.h"
#include "pushkit/testing/scripted_terminal.h"

namespace pushkit {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::bytesOf;
using testing::EventKind;
using testing::ScriptedTerminal;

const Bytes kProbe{0x1B, 'X', 'L', 'T', 0x0B, '\r'};

std::string s2(std::uint32_t address, std::string_view data) {
    char field[16];
    std::snprintf(field, sizeof field, "S2%02X%06X", static_cast<unsigned>(data.size() + 4), address);
    std::string line = field;
    for (unsigned char c : data) {
        std::snprintf(field, sizeof field, "%02X", c);
        line += field;
    }
    return line + "00\r\n";
}

std::string padded(std::string text, std::size_t size) {
    text.resize(size, '\0');
    return text;
}

// A kind-102 image: its header names a terminal answering VKD with version 0100 or later.
std::string framedImage() {
    return "S00600004844521B\r\n" + s2(0x030000, padded("APPLICATION;", 16)) +
           s2(0x030010, padded("VKDV0100", 16)) + s2(0x100000, "0123456789abcdef") + "S804000000FB\r\n";
}

class DownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // A random part keeps two builds' runs of the same test apart.
        dir_ = fs::temp_directory_path() /
               ("pushkit-download-" + std::to_string(std::random_device{}()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string image(const std::string& name, const std::string& contents) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << contents;
        paths_.push_back(path.string());
        return paths_.back();
    }

    int download(std::string_view path, int wakeMethod = 0, std::uint32_t callerBaud = 19200) {
        DownloadRequest request;
        request.imagePath = path;
        request.portNumber = 3;
        request.line = {callerBaud, 8, kParityNone, kStopOne};
        request.wakeMethod = wakeMethod;
        auto opener = terminal_.opener();
        const int outcome = abiResult(runDownload(*opener, request, run_, progress_));
        // Whatever happened, every port that was opened is closed again.
        EXPECT_EQ(terminal_.count(EventKind::Open), terminal_.count(EventKind::Close));
        return outcome;
    }

    std::vector<std::uint32_t> bauds() const {
        std::vector<std::uint32_t> out;
        for (const auto& e : terminal_.log()) {
            if (e.kind == EventKind::SetBaud) {
                out.push_back(e.value);
            }
        }
        return out;
    }

    ScriptedTerminal terminal_;
    std::atomic<std::int32_t> run_{0};
    ProgressFn progress_;
    fs::path dir_;
    std::vector<std::string> paths_;
};

TEST_F(DownloadTest, FailuresBeforeAnyTransfer) {
    terminal_.failOpens(1);
    EXPECT_EQ(download(image("a.s2", framedImage())), -10);
    EXPECT_EQ(terminal_.count(EventKind::Open), 0u);

    EXPECT_EQ(download((dir_ / "missing.s2").string()), -11);
    EXPECT_EQ(download(dir_.string()), -11);
    EXPECT_EQ(download(""), -11);
    EXPECT_EQ(terminal_.count(EventKind::Open), 3u);
    EXPECT_EQ(terminal_.count(EventKind::Write), 0u);

    EXPECT_EQ(download(image("ABC.hex", ":00000001FF\r\n")), -12);
    EXPECT_EQ(download(image("VK.HEX", ":00000001FF\r\n")), -12);
    EXPECT_EQ(terminal_.count(EventKind::Write), 0u);
    EXPECT_EQ(run_.load(), 1);
}

TEST_F(DownloadTest, PortOpensAt19200WithTheCallersFrameAndWakesTheTerminal) {
    download((dir_ / "missing.s2").string(), 2);
    const auto& opened = terminal_.log().front();
    ASSERT_EQ(opened.kind, EventKind::Open);
    EXPECT_EQ(opened.value, 3u);
    EXPECT_EQ(opened.line.baud, 19200u);
    // The code byte for 19200 goes out before the image is even looked at.
    ASSERT_EQ(terminal_.writes().size(), 1u);
    EXPECT_EQ(terminal_.writes()[0], Bytes{0x13});

    const std::size_t dtrBefore = terminal_.count(EventKind::SetDtr);
    download((dir_ / "missing.s2").string(), 1);
    // Two settle steps, then three pulses: the count that tells the terminal 19200.
    EXPECT_EQ(terminal_.count(EventKind::SetDtr) - dtrBefore, 2u + 2u * 3u);
}

TEST_F(DownloadTest, RawStreamForVkdVkfVkl) {
    const std::string hex(5000, 'h');
    terminal_.setCts([](std::size_t) { return false; });
    EXPECT_EQ(download(image("VKD100.HEX", hex)), -21);

    terminal_.setCts([](std::size_t) { return true; });
    std::vector<double> reports;
    progress_ = [&](int port, double percent) {
        EXPECT_EQ(port, 3);
        reports.push_back(percent);
    };
    run_ = 0;  // a cancel made before the download does not stop it
    EXPECT_EQ(download(image("vkf.hex", hex)), 10);
    const Bytes written = terminal_.writtenStream();
    EXPECT_EQ(std::string(written.begin(), written.end()), hex);
    EXPECT_FALSE(reports.empty());

    // Cancelling from inside the hook ends the stream at its next poll.
    progress_ = [&](int, double) { run_.store(0); };
    EXPECT_EQ(download(image("VkL2.Hex", hex)), -30);
}

TEST_F(DownloadTest, LineProtocolForVksReopensThePort) {
    const std::string hex = ":0400000001020304F2\r\n:00000001FF\r\n";
    EXPECT_EQ(download(image("VKS.hex", hex), 2), -29);
    std::vector<std::uint32_t> openBauds;
    for (const auto& e : terminal_.log()) {
        if (e.kind == EventKind::Open) {
            openBauds.push_back(e.line.baud);
        }
    }
    EXPECT_EQ(openBauds, (std::vector<std::uint32_t>{19200, 115200}));

    // A silent terminal never acknowledges the first line frame.
    EXPECT_EQ(download(image("vks2.HEX", hex)), -23);
}

TEST_F(DownloadTest, RmtAnswerChoosesTheHexBlockProtocolAtTheCallersSpeed) {
    const std::string s2image = s2(0x200000, "0123456789ABCDEF") + s2(0x200020, "0123456789ABCDEF");
    for (const char* answer : {"RMTV0100  ", "rmt", "RmT 12"}) {
        terminal_.setResponder(testing::answerTo(
            kProbe, {}, testing::identifiesAs(answer, testing::perLine(testing::ackEverything()))));
        const std::size_t before = bauds().size();
        EXPECT_EQ(download(image("prog.s2", s2image), 0, 38400), 14) << answer;
        const std::vector<std::uint32_t> all = bauds();
        EXPECT_EQ(std::vector<std::uint32_t>(all.begin() + static_cast<long>(before), all.end()),
                  std::vector<std::uint32_t>{38400})
            << answer;
    }
}

TEST_F(DownloadTest, OtherAnswersChooseTheFramedProtocolBackAt19200) {
    std::string ident = "VKDV0100";
    ident.resize(18, ' ');
    terminal_.setResponder(testing::identifiesAs(ident, testing::ackEverything()));
    // An S-record image is anything not named .hex: no extension, .s2, or .hex inside a folder name.
    for (const std::string name : {"prog", "prog.s2", "prog.hex.s2"}) {
        EXPECT_EQ(download(image(name, framedImage()), 0, 57600), 14) << name;
        EXPECT_EQ(bauds().back(), 19200u) << name;
    }
    const Bytes stream = terminal_.writtenStream();
    EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 6), kProbe);
}

TEST_F(DownloadTest, AFrameThatCannotBeWrittenIsAFailure) {
    std::string ident = "VKDV0100";
    ident.resize(18, ' ');
    // Writes 0 and 1 are the probes; every later write fails, at whichever step it comes.
    for (std::size_t firstFailing : {2u, 3u, 4u, 6u}) {
        ScriptedTerminal terminal;
        terminal.setResponder(testing::identifiesAs(ident, testing::ackEverything()));
        terminal.failWritesFrom(firstFailing);
        DownloadRequest request;
        const std::string path = image("prog.s2", framedImage());
        request.imagePath = path;
        auto opener = terminal.opener();
        EXPECT_EQ(abiResult(runDownload(*opener, request, run_, progress_)), -22) << firstFailing;
    }

    terminal_.setResponder(testing::answerTo(
        kProbe, {}, testing::identifiesAs("RMT", testing::perLine(testing::ackEverything()))));
    terminal_.failWritesFrom(2);
    EXPECT_EQ(download(image("prog.s2", s2(0x200000, "0123"))), -22);
}

TEST_F(DownloadTest, AnswerStillArrivingAfterTheFirstQueriesIsNotTakenForTheNext) {
    std::string ident = "VKDV0100";
    ident.resize(18, ' ');
    // A slow terminal: its identification starts 150 ms after the query and trickles in, so its end
    // comes after the port was purged.
    terminal_.setResponder(testing::answerTo(kProbe, {}, [ident](ScriptedTerminal& t, const Bytes& w) {
        if (w == bytesOf("\x1bZ1\r")) {
            t.answer(bytesOf(ident), 150, 2);
        } else {
            t.answer({0x06});
        }
    }));
    EXPECT_EQ(download(image("prog.s2", framedImage())), 14);
}

// The first 150 bytes of an image shaped like the demo's: the last record is cut inside its data.
const std::string kCutImage =
    "S20E2000004B5452206279205A414EDC\r\n"
    "S214200100466F726D77656C6C2064656D6F207072BB\r\n"
    "S2142001106F6772616D3A206120736D616C6C206927\r\n"
    "S2142001206D61676520666F";

TEST_F(DownloadTest, CutImageSendsOnlyTheBytesItHolds) {
    // Framed: the cut record's frame carries its address and the seven whole data bytes.
    terminal_.setResponder(testing::answersFlashQuery({0xA4, 0x01, 0x00}, testing::ackEverything()));
    ASSERT_EQ(download(image("cut.s2", kCutImage)), 14);
    const Bytes cutHead{0x10, 0x02, 0x20, 0x01, 0x20};
    std::vector<Bytes> cutFrames;
    for (const Bytes& w : terminal_.writes()) {
        if (w.size() > cutHead.size() && std::equal(cutHead.begin(), cutHead.end(), w.begin())) {
            cutFrames.push_back(w);
        }
    }
    ASSERT_EQ(cutFrames.size(), 1u);
    const Bytes& frame = cutFrames.front();
    ASSERT_EQ(frame.size(), cutHead.size() + 7 + 3);
    EXPECT_EQ(std::string(frame.begin() + 5, frame.begin() + 12), "mage fo");

    // Hex-block: the block holding the cut record is padded with 0xFF right after its seven bytes.
    ScriptedTerminal rmt;
    rmt.setResponder(testing::answerTo(
        kProbe, {}, testing::identifiesAs("RMT VKN01", testing::perLine(testing::ackEverything()))));
    DownloadRequest request;
    const std::string path = image("cut2.s2", kCutImage);
    request.imagePath = path;
    auto opener = rmt.opener();
    ASSERT_EQ(abiResult(runDownload(*opener, request, run_, progress_)), 14);
    const Bytes stream = rmt.writtenStream();
    const std::string text(stream.begin(), stream.end());
    const std::string data =
        "466F726D77656C6C2064656D6F207072"
        "6F6772616D3A206120736D616C6C2069"
        "6D61676520666F";
    std::string expectedBlock =
        "\x1b"
        "200100" +
        data;
    while (expectedBlock.size() < 7 + 256) {
        expectedBlock += "FF";
    }
    EXPECT_NE(text.find(expectedBlock), std::string::npos);
}

TEST_F(DownloadTest, OnlyARegularFileOfSaneSizeIsRead) {
#ifdef _WIN32
    // A device that answers to a file name.
    EXPECT_EQ(download("NUL"), -11);
#else
    // A FIFO without a writer: an open that waited for one would never return.
    const fs::path fifo = dir_ / "fifo.s2";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(download(fifo.string()), -11);
#endif

    // Over 64 MiB (sparse: nothing is written): refused before anything is read.
    const fs::path huge = dir_ / "huge.s2";
    std::ofstream(huge).put('S');
    fs::resize_file(huge, (std::uintmax_t{64} << 20) + 1);
    EXPECT_EQ(download(huge.string()), -11);
    EXPECT_EQ(terminal_.count(EventKind::Write), 0u);
}

TEST_F(DownloadTest, CancelDuringTheWakeUpEndsTheDownloadOnceTheTerminalIsWoken) {
    std::string ident = "VKDV0100";
    ident.resize(18, ' ');
    const testing::Responder loader = testing::identifiesAs(ident, testing::ackEverything());
    // The cancel comes with the code byte, about 310 ms into the wake-up: long after Download began.
    terminal_.setResponder([&](ScriptedTerminal& t, const Bytes& written) {
        if (written == Bytes{0x13}) {
            run_.store(0);
        }
        loader(t, written);
    });
    const std::string path = image("prog.s2", framedImage());
    EXPECT_EQ(download(path, 2), -30);
    // The line sequence ran to its end, and no query followed it.
    EXPECT_EQ(terminal_.writes(), std::vector<Bytes>{{0x13}});
    EXPECT_EQ(terminal_.sleeps().back(), 50u);

    // That cancel does not carry over into the next download.
    terminal_.setResponder(loader);
    EXPECT_EQ(download(path, 2), 14);
}

TEST_F(DownloadTest, CancelWhileTheImageIsReadStopsAtTheNextChunk) {
    const std::string text = framedImage() + std::string(10000, '\n');
    const std::string path = image("prog.s2", text);
    ImageFile file;
    ASSERT_TRUE(file.open(path));
    std::string contents;
    // The run flag as the read loop sees it: cleared after the second chunk.
    int polls = 0;
    EXPECT_EQ(readImage(
                  file, contents, [&polls] { return ++polls == 3; }, 1024),
              ImageRead::Cancelled);
    EXPECT_EQ(contents.size(), 2048u);

    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(readImage(
                  file, contents, [] { return false; }, 1024),
              ImageRead::Read);
    EXPECT_EQ(contents, text);
}

TEST(ImageName, SplitsAtTheLastSeparatorAndTheLastDot) {
    struct Case {
        std::string_view path, base, extension;
    } cases[] = {
        {"VKS01.HEX", "VKS01", ".HEX"},
        {"/home/me/images.d/vkd.hex", "vkd", ".hex"},
        {"C:\\images\\VKF.tar.hex", "VKF.tar", ".hex"},
        {"dir.hex/prog", "prog", ""},
        {".hex", "", ".hex"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const ImageName name = splitImageName(c.path);
        EXPECT_EQ(name.base, c.base) << c.path;
        EXPECT_EQ(name.extension, c.extension) << c.path;
    }
}

}  // namespace
}  // namespace pushkit
