// Slow, dripping and late terminals on the virtual clock, at and just past each limit: the read's
// 100 ms interval and its total, the quiet window that ends the first answer, the ACK's wait.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "abi_result.h"
#include "download.h"
#include "pushkit/testing/s2_image.h"
#include "pushkit/testing/scripted_terminal.h"

namespace pushkit {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::bytesOf;
using testing::Responder;
using testing::ScriptedTerminal;

const Bytes kProbe{0x1B, 'X', 'L', 'T', 0x0B, '\r'};
const Bytes kIdentQuery = bytesOf("\x1bZ1\r");
constexpr std::uint8_t kAck = 0x06;
const std::string kFramedIdent = "VKDV0105-KTR-0001\r";
const std::string kRmtIdent = "RMT VKN01";

// How the terminal answers ESC "Z1" CR.
struct Pacing {
    std::size_t missed = 0;     // queries let pass unanswered first (a terminal still waking)
    std::uint32_t delayMs = 0;  // from the query to the first byte
    std::uint32_t gapMs = 0;    // between the bytes
};

// A framed-loader terminal ignores the hex-block probe and ACKs every frame; an "RMT" one ACKs lines.
Responder pacedTerminal(const std::string& ident, Pacing pacing, std::uint32_t ackDelayMs) {
    const bool rmt = ident.rfind("RMT", 0) == 0;
    Responder acks = [ackDelayMs](ScriptedTerminal& t, const Bytes&) { t.answer({kAck}, ackDelayMs); };
    Responder otherwise = rmt ? testing::perLine(acks) : acks;
    return [=, queries = std::size_t{0}](ScriptedTerminal& t, const Bytes& written) mutable {
        if (written == kProbe) {
            return;
        }
        if (written == kIdentQuery) {
            if (queries++ >= pacing.missed) {
                t.answer(bytesOf(ident), pacing.delayMs, pacing.gapMs);
            }
            return;
        }
        otherwise(t, written);
    };
}

class SlowTerminalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("pushkit-slow-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        // A kind-102 image: the terminal is asked what it is, nothing is erased.
        framedImage_ = (dir_ / "framed.s2").string();
        std::ofstream(framedImage_, std::ios::binary)
            << testing::applicationHeader(0x030000, "VKDV0100") + testing::s2Run(0x100000, 4, 16);
        rmtImage_ = (dir_ / "rmt.s2").string();
        std::ofstream(rmtImage_, std::ios::binary) << testing::s2Run(0x200000, 4, 16);
    }
    void TearDown() override { fs::remove_all(dir_); }

    int download(ScriptedTerminal& terminal, const std::string& ident) {
        DownloadRequest request;
        request.imagePath = ident == kRmtIdent ? rmtImage_ : framedImage_;
        request.portNumber = 1;
        request.line = {38400, 8, kParityNone, kStopOne};
        auto opener = terminal.opener();
        std::atomic<std::int32_t> run{0};
        return abiResult(runDownload(*opener, request, run, {}));
    }

    fs::path dir_;
    std::string framedImage_;
    std::string rmtImage_;
};

// The first query is answered in the 100 ms pause after it, then read up to 10 bytes; the framed
// loader then drops what is left until 20 ms pass in silence, asks again and reads 18 bytes.
TEST_F(SlowTerminalTest, IdentificationAtAndPastEachLimit) {
    struct Case {
        const char* name;
        const std::string& ident;
        Pacing pacing;
        int expected;
    };
    const Case cases[] = {
        {"drip of 5 ms", kFramedIdent, {0, 0, 5}, 14},
        {"drip of 20 ms: the first answer's tail is dropped", kFramedIdent, {0, 0, 20}, 14},
        // Its tail then comes after the silence and is read as the start of the loader's answer.
        {"drip of 21 ms", kFramedIdent, {0, 0, 21}, -13},
        {"burst a second late: dropped before the loader asks", kFramedIdent, {0, 1000, 0}, 14},
        {"loader's answer dripping at the 100 ms interval", kFramedIdent, {1, 0, 100}, 14},
        {"loader's answer dripping at 101 ms", kFramedIdent, {1, 0, 101}, -14},
        {"loader's answer 1900 ms late: at its read's total", kFramedIdent, {1, 1900, 0}, 14},
        {"loader's answer 1901 ms late", kFramedIdent, {1, 1901, 0}, -14},
        // "RMT" must be in the first read: 100 ms after the pause, within 100 ms of each other.
        {"RMT dripping at the 100 ms interval", kRmtIdent, {0, 0, 100}, 14},
        {"RMT dripping at 101 ms", kRmtIdent, {0, 0, 101}, -14},
        {"RMT 1200 ms late: at the first read's 1100 ms total", kRmtIdent, {0, 1200, 0}, 14},
        {"RMT 1201 ms late", kRmtIdent, {0, 1201, 0}, -14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTerminal terminal;
        terminal.setResponder(pacedTerminal(c.ident, c.pacing, 0));
        EXPECT_EQ(download(terminal, c.ident), c.expected);
    }
}

// An ACK is waited for 200 ms (a one-byte read). One that comes later brings the frame again, once:
// from then on each frame takes the ACK of the frame before, already on its way, and the load ends well.
TEST_F(SlowTerminalTest, AckAtTheEndOfItsWaitAndJustAfter) {
    std::vector<std::size_t> writes;
    for (const std::uint32_t ackDelayMs : {0u, 200u, 201u}) {
        ScriptedTerminal terminal;
        terminal.setResponder(pacedTerminal(kFramedIdent, {}, ackDelayMs));
        EXPECT_EQ(download(terminal, kFramedIdent), 14) << ackDelayMs;
        writes.push_back(terminal.writes().size());
    }
    EXPECT_EQ(writes[1], writes[0]);
    EXPECT_EQ(writes[2], writes[0] + 1);
}

}  // namespace
}  // namespace pushkit
