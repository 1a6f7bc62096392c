// What the loader sends for an image's lines, read back by the simulated terminal's own readers: a
// record frame carries exactly the address and bytes of its S2 line, a line frame exactly the line,
// and the hex-block lines put every record byte where its address says, whatever the image holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frame_codec.h"
#include "hhtsim/loader_codec.h"
#include "hhtsim/terminal_codec.h"
#include "pushkit/image/hex_block_layout.h"
#include "pushkit/image/image_scans.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Feeds a whole unit to a terminal reader: it must complete on the last byte and not before.
template <typename Reader>
void feedWhole(Reader& reader, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool last = i + 1 == bytes.size();
        check((reader.feed(bytes[i]) == hhtsim::FeedStatus::Complete) == last);
    }
}

void checkRecordFrame(std::string_view line) {
    const std::optional<pushkit::Frame> frame = pushkit::recordFrame(line);
    const pushkit::S2Fields fields = pushkit::parseS2(line);
    check(frame.has_value() == (pushkit::isS2Record(line) && fields.hasAddress));
    if (!frame) {
        return;
    }
    hhtsim::DleFrameReader reader(frame->size());
    feedWhole(reader, *frame);
    const hhtsim::DleFrame& read = reader.result();
    check(!read.malformed && read.bccOk);
    check(read.body.size() == fields.carried);
    check((std::uint32_t{read.body[0]} << 16 | std::uint32_t{read.body[1]} << 8 | read.body[2]) ==
          fields.address);
    for (std::size_t i = 0; i < fields.carried; ++i) {
        check(read.body[i] == pushkit::hexByte(line, pushkit::kS2AddressField + 2 * i));
    }
}

void checkLineFrame(std::string_view line, unsigned sequence) {
    const pushkit::Frame frame = pushkit::lineFrame(line, sequence);
    hhtsim::LineFrameReader reader(line.size());
    feedWhole(reader, frame);
    const hhtsim::LineFrame& read = reader.result();
    check(!read.malformed && read.bccOk);
    check(read.sequence == static_cast<int>(sequence % 10) && read.text == line);
}

void checkHexBlocks(std::string_view image) {
    pushkit::BlockImage blockImage;
    if (pushkit::buildBlockImage(image, blockImage) != pushkit::BlockListResult::Built) {
        return;
    }
    std::vector<pushkit::HexBlock> blocks;
    if (pushkit::layoutHexBlocks(blockImage, blocks) != pushkit::LayoutResult::LaidOut) {
        return;
    }
    check(!blocks.empty());
    // What the terminal's memory holds after it has written every line in order, from the first
    // block's address on.
    const std::uint32_t base = blocks.front().address;
    const std::uint32_t top = blocks.back().address + pushkit::kHexBlockSize;
    check(base >= pushkit::kHexBlockWindowLow && top > base);
    std::vector<std::optional<std::uint8_t>> memory(top - base);
    std::uint32_t previousEnd = 0;
    for (const pushkit::HexBlock& block : blocks) {
        // An address-only record far from the others has a block of padding alone.
        check(block.address >= previousEnd && block.endAddress >= block.address &&
              block.endAddress - block.address <= pushkit::kHexBlockSize);
        previousEnd = block.endAddress;

        const std::string text = pushkit::hexBlockLine(block.address, block.data);
        check(text.size() == 266 && text.front() == '\x1b' && text.back() == '\r');
        hhtsim::EscCommandReader reader(text.size());
        feedWhole(reader, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        const std::optional<hhtsim::HexBlockLine> read = hhtsim::parseHexBlockLine(reader.body());
        check(read && read->checkOk && read->address == block.address && read->data == block.data);
        for (std::size_t i = 0; i < pushkit::kHexBlockSize; ++i) {
            memory[block.address - base + i] = block.data[i];
        }
    }
    for (const pushkit::BlockRecord& record : blockImage.records) {
        for (std::size_t i = 0; i < record.data.size(); ++i) {
            const std::size_t at = record.address - base + i;
            check(at < memory.size() && memory[at] == record.data[i]);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view image(reinterpret_cast<const char*>(data), size);

    pushkit::LineReader sendLines(image, pushkit::kSendLineLimit);
    std::string_view line;
    while (sendLines.next(line)) {
        checkRecordFrame(line);
    }
    pushkit::LineReader protocolLines(image, pushkit::kLineProtocolLimit);
    for (unsigned sequence = 2; protocolLines.next(line); ++sequence) {
        checkLineFrame(line, sequence);
    }
    checkHexBlocks(image);
    return 0;
}
