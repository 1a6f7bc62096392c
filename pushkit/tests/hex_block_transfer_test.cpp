// Hex-block layout and conversation.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "download_result.h"
#include "frame_codec.h"
#include "hex_block_protocol.h"
#include "pushkit/image/hex_block_layout.h"
#include "pushkit/testing/s2_image.h"
#include "pushkit/testing/scripted_terminal.h"
#include "transfers.h"

namespace pushkit::testing {
namespace {

std::vector<std::uint8_t> filled(std::size_t n, std::uint8_t value) {
    return std::vector<std::uint8_t>(n, value);
}

struct LaidOut {
    LayoutResult result;
    std::vector<HexBlock> blocks;
};

LaidOut layOut(const std::string& image) {
    BlockImage blockImage;
    EXPECT_EQ(buildBlockImage(image, blockImage), BlockListResult::Built);
    LaidOut out;
    out.result = layoutHexBlocks(blockImage, out.blocks);
    return out;
}

struct Expected {
    std::uint32_t address;
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes;  // offset, value: spot checks
    std::size_t dataBytes;                                    // bytes before the 0xFF tail
};

struct LayoutCase {
    const char* name;
    std::string image;
    std::vector<Expected> blocks;
};

// Images list their records in any order: the list comes out by address, and records at one address
// keep their order in the file (pairs at each address, the file descending).
TEST(HexBlockLayoutTest, ListIsInAddressOrderAndEqualAddressesKeepFileOrder) {
    std::string image;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> expected;
    for (std::uint8_t i = 40; i-- > 0;) {
        image += s2Line(0x200000 + 0x10u * (i / 2u), filled(4, i));
    }
    for (std::uint8_t pair = 0; pair < 20; ++pair) {
        const std::uint32_t address = 0x200000 + 0x10u * pair;
        expected.push_back({address, static_cast<std::uint8_t>(2 * pair + 1)});
        expected.push_back({address, static_cast<std::uint8_t>(2 * pair)});
    }
    BlockImage blockImage;
    ASSERT_EQ(buildBlockImage(image, blockImage), BlockListResult::Built);
    std::vector<std::pair<std::uint32_t, std::uint8_t>> listed;
    for (const BlockRecord& record : blockImage.records) {
        listed.push_back({record.address, record.data.at(0)});
    }
    EXPECT_EQ(listed, expected);
}

TEST(HexBlockLayoutTest, BlocksFollowTheData) {
    const LayoutCase cases[] = {
        {"gap of 16 inside one block",
         s2Line(0x200000, filled(16, 0x11)) + s2Line(0x200020, filled(16, 0x22)),
         {{0x200000, {{15, 0x11}, {16, 0xFF}, {31, 0xFF}, {32, 0x22}, {47, 0x22}}, 48}}},
        {"full block continues where the data ended",
         s2Run(0x200000, 9, 16),
         {{0x200000, {{0, 0}, {127, 127}}, 128}, {0x200080, {{0, 128}, {15, 143}}, 16}}},
        {"records sorted by address whatever the file order",
         s2Line(0x200010, filled(16, 0x22)) + s2Line(0x200000, filled(16, 0x11)),
         {{0x200000, {{0, 0x11}, {16, 0x22}}, 32}}},
        {"next block padded at its start when the gap fits",
         s2Line(0x200000, filled(16, 0x11)) + s2Line(0x200070, filled(16, 0x22)) +
             s2Line(0x200090, filled(16, 0x33)),
         {{0x200000, {{112, 0x22}, {127, 0x22}}, 128}, {0x200080, {{15, 0xFF}, {16, 0x33}}, 32}}},
        {"record far from the running block starts at its own address",
         s2Line(0x200000, filled(16, 0x11)) + s2Line(0x201000, filled(16, 0x22)),
         {{0x200000, {{0, 0x11}}, 16}, {0x201000, {{0, 0x22}}, 16}}},
        // The count claims 136 bytes; the 79-character reader keeps 34 of them, and only those go.
        {"record cut by the reader's line limit",
         s2Line(0x200000, filled(136, 0x11)),
         {{0x200000, {{0, 0x11}, {33, 0x11}}, 34}}},
        {"records outside the window are left out",
         s2Line(0x1FFFF0, filled(16, 0x99)) + s2Line(0x200000, filled(4, 0x11)) +
             s2Line(0x220001, filled(4, 0x99)),
         {{0x200000, {{0, 0x11}}, 4}}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const LaidOut out = layOut(c.image);
        ASSERT_EQ(out.result, LayoutResult::LaidOut);
        ASSERT_EQ(out.blocks.size(), c.blocks.size());
        for (std::size_t i = 0; i < c.blocks.size(); ++i) {
            EXPECT_EQ(out.blocks[i].address, c.blocks[i].address);
            for (const auto& [offset, value] : c.blocks[i].bytes) {
                EXPECT_EQ(out.blocks[i].data[offset], value) << "block " << i << " offset " << offset;
            }
            for (std::size_t j = c.blocks[i].dataBytes; j < kHexBlockSize; ++j) {
                EXPECT_EQ(out.blocks[i].data[j], 0xFF) << "block " << i << " offset " << j;
            }
        }
    }
}

TEST(HexBlockLayoutTest, RecordLongerThanABlockGoesOnInTheNext) {
    BlockImage image;
    image.records.push_back({0x200000, filled(136, 0x11)});
    std::vector<HexBlock> blocks;
    ASSERT_EQ(layoutHexBlocks(image, blocks), LayoutResult::LaidOut);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].address, 0x200000u);
    EXPECT_EQ(blocks[0].data[127], 0x11);
    EXPECT_EQ(blocks[1].address, 0x200080u);
    EXPECT_EQ(blocks[1].data[7], 0x11);
    EXPECT_EQ(blocks[1].data[8], 0xFF);
}

TEST(HexBlockLayoutTest, RefusesOverlapsAndEmptyImages) {
    EXPECT_EQ(layOut(s2Line(0x200000, filled(16, 1)) + s2Line(0x200008, filled(16, 2))).result,
              LayoutResult::Overlap);
    EXPECT_EQ(layOut(s2Line(0x200000, filled(16, 1)) + s2Line(0x200000, filled(16, 2))).result,
              LayoutResult::Overlap);
    EXPECT_EQ(layOut(s2Line(0x300000, filled(16, 1)) + "S9030000FC\r\n").result, LayoutResult::NoRecord);
}

TEST(HexBlockLayoutTest, IdentificationsOfImageAndTerminal) {
    // "3B" then "RMT-7000" in hexadecimal, in the record at 0x200034.
    const std::string image = s2Line(0x200000, filled(4, 0x3B)) +
                              s2Line(0x200034, {0x41, 0x3B, 'R', 'M', 'T', '-', '7', '0', '0', '0'});
    EXPECT_EQ(imageIdentification(image), "RMT-7000");
    EXPECT_EQ(imageIdentification(s2Run(0x200000, 4, 16)), "");

    const std::pair<std::string_view, std::string_view> answers[] = {
        {"RMT-7000\r", "RMT-7000"},
        {"RMT 7000\r", "RMT7000\r"},
        {" RMT-7000", "RMT-7000"},
        {"RMT  70", "RMT 70"},  // only one space is skipped per position
        {"RM", "RM"},
    };
    for (const auto& [answer, ident] : answers) {
        EXPECT_EQ(terminalIdentification(answer), ident) << answer;
    }
}

class HexBlockTransferTest : public ::testing::Test {
  protected:
    DownloadResult run(std::string_view image, std::string_view answer = "RMT-7000\r") {
        TransferContext ctx{*port, runFlag, [this](int, double percent) { hookValues.push_back(percent); },
                            3};
        return runHexBlockTransfer(ctx, image, answer);
    }

    ScriptedTerminal terminal;
    std::unique_ptr<Port> port = terminal.openPort(1, {.baud = 38400});
    std::atomic<std::int32_t> runFlag{1};
    std::vector<double> hookValues;
};

TEST_F(HexBlockTransferTest, WholeExchangeOnTheWire) {
    terminal.setResponder(perLine(ackEverything()));
    // 0x204000..0x20C023: block commands 1 and 2 (the block holding the end is not among them).
    const std::string image = s2Line(0x204000, filled(16, 0xAA)) + s2Line(0x208000, filled(16, 0xBB)) +
                              s2Line(0x20C000, filled(32, 0xCC));
    ASSERT_EQ(run(image), DownloadResult::SrecordLoaded);

    HexBlockData first;
    first.fill(0xFF);
    std::fill_n(first.begin(), 16, 0xAA);
    HexBlockData second = first;
    std::fill_n(second.begin(), 16, 0xBB);
    HexBlockData third;
    third.fill(0xFF);
    std::fill_n(third.begin(), 32, 0xCC);
    const std::string expected = hexBlockCommand(1) + hexBlockCommand(2) + hexBlockCommand(kHexStartOfData) +
                                 hexBlockLine(0x204000, first) + hexBlockLine(0x208000, second) +
                                 hexBlockLine(0x20C000, third) + hexBlockCommand(kHexEndOfData) +
                                 hexBlockClockCommand(terminal.localTime()) + hexBlockCommand(kHexFinal);
    EXPECT_EQ(terminal.writtenStream(), bytesOf(expected));
    // Lines and the clock command go out one character at a time, the commands whole.
    EXPECT_EQ(terminal.writes().size(), 3 + 266 * 3 + 1 + 18 + 1u);
    ASSERT_EQ(hookValues.size(), 2u);
    const double span = 0x20C000 + 32 + 4 - 0x204000;
    EXPECT_DOUBLE_EQ(hookValues[0], (0x204010 - 0x204000) * 100.0 / span);
    EXPECT_DOUBLE_EQ(hookValues[1], (0x208010 - 0x204000) * 100.0 / span);
    EXPECT_EQ(terminal.sleeps().back(), 100u);
}

TEST_F(HexBlockTransferTest, RetriesThenGivesUp) {
    // Silent to the start command: three tries of 100 ms wait and a 200 ms read.
    EXPECT_EQ(run(s2Line(0x200000, filled(16, 1))), DownloadResult::HexBlockNoAck);
    EXPECT_EQ(terminal.writes(), std::vector<Bytes>(3, bytesOf(hexBlockCommand(kHexStartOfData))));
    EXPECT_EQ(terminal.nowMs(), 3 * 300u);

    // A data line refused twice is accepted on the third try; 20 ms after each refusal.
    ScriptedTerminal t;
    int lines = 0;
    t.setResponder(perLine([&lines](ScriptedTerminal& st, const Bytes& line) {
        const bool dataLine = line.size() == 266;
        st.answer({static_cast<std::uint8_t>(dataLine && ++lines < 3 ? 0x15 : kAck)});
    }));
    auto p = t.openPort();
    TransferContext ctx{*p, runFlag, {}, 1};
    EXPECT_EQ(runHexBlockTransfer(ctx, s2Line(0x200000, filled(16, 1)), "RMT"),
              DownloadResult::SrecordLoaded);
    EXPECT_EQ(t.sleeps(), (std::vector<std::uint32_t>{100, 100, 20, 100, 20, 100, 100, 100, 100, 100}));
}

TEST_F(HexBlockTransferTest, WaitForTheAckStartsWhenTheLineHasLeftThePort) {
    // At 4800 baud a data line is on the wire for 554 ms, far longer than the 100 ms the terminal has
    // to answer once it holds the line; it answers the whole line, never a part of it.
    ScriptedTerminal slow;
    slow.modelWireTime();
    slow.setResponder(perLine(ackEverything()));
    auto p = slow.openPort(1, {.baud = 4800});
    TransferContext ctx{*p, runFlag, {}, 1};
    const std::string image = s2Line(0x200000, filled(16, 0x11));
    ASSERT_EQ(runHexBlockTransfer(ctx, image, "RMT"), DownloadResult::SrecordLoaded);

    HexBlockData data;
    data.fill(0xFF);
    std::fill_n(data.begin(), 16, 0x11);
    const std::string line = hexBlockLine(0x200000, data);
    const Bytes stream = slow.writtenStream();
    const std::string sent(stream.begin(), stream.end());
    const std::size_t first = sent.find(line);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(sent.find(line, first + 1), std::string::npos);  // sent once
}

TEST_F(HexBlockTransferTest, RefusalsBeforeAnythingIsSent) {
    terminal.setResponder(perLine(ackEverything()));
    const std::string foreign = s2Line(0x200034, {0x3B, 'X', 'Y', 'Z', '1', '0', '0', '0', '0'});
    EXPECT_EQ(run(foreign), DownloadResult::IdentMismatch);
    EXPECT_EQ(run(s2Line(0x300000, filled(16, 1))), DownloadResult::NoS2Record);
    EXPECT_EQ(run(s2Line(0x200000, filled(16, 1)) + s2Line(0x20000F, filled(4, 2))),
              DownloadResult::OverlappingRecords);
    EXPECT_TRUE(terminal.writes().empty());
    // The same image is welcome when the terminal names the same family, spaces and all.
    EXPECT_EQ(run(foreign, "XYZ 1000"), DownloadResult::SrecordLoaded);
}

TEST_F(HexBlockTransferTest, UnwrittenCharacterEndsTheTransfer) {
    terminal.setResponder(perLine(ackEverything()));
    terminal.failWritesFrom(10);  // inside the first data line
    EXPECT_EQ(run(s2Line(0x200000, filled(16, 1))), DownloadResult::WriteFailed);
    EXPECT_EQ(terminal.count(EventKind::WriteFailed), 1u);
}

}  // namespace
}  // namespace pushkit::testing
