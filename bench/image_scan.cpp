// What the loader does with an S-record image before and while it sends it, minus the port, as a
// process of its own so that it can be timed like any other program that reads a whole image:
// read the file, run the scans a load makes, and build every frame it would send. The frames go to
// the output file, as the tools it is compared with write their binary.
//
//   bench_image_scan framed|hex-block IMAGE OUTPUT
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "frame_codec.h"
#include "pushkit/image/hex_block_layout.h"
#include "pushkit/image/image_file.h"
#include "pushkit/image/image_scans.h"

namespace {

using namespace pushkit;

// A framed load of a kind-103 image found by asking the terminal: the identification record searches,
// the record count, the header check, the erase range, the count again, then a frame per record line.
bool framed(std::string_view image, std::FILE* out) {
    if (containsIdentificationRecord(image, terminalKind(TerminalKind::Kind103).identRecord) ||
        containsIdentificationRecord(image, terminalKind(TerminalKind::Kind101).identRecord) ||
        countS2Records(image) == 0) {
        return false;
    }
    (void)checkApplicationHeader(image, TerminalKind::Kind103, "VKNV0105");
    const AddressRange range = addressRange(image, TerminalKind::Kind103);
    if (range.result != RangeResult::Found || countS2Records(image) == 0) {
        return false;
    }
    LineReader lines(image, kSendLineLimit);
    std::string_view line;
    while (lines.next(line)) {
        if (const std::optional<Frame> frame = recordFrame(line)) {
            std::fwrite(frame->data(), 1, frame->size(), out);
        }
    }
    return true;
}

// A hex-block load: the record list in address order, its layout, and the text of every line.
bool hexBlock(std::string_view image, std::FILE* out) {
    BlockImage blockImage;
    std::vector<HexBlock> blocks;
    if (buildBlockImage(image, blockImage) != BlockListResult::Built ||
        layoutHexBlocks(blockImage, blocks) != LayoutResult::LaidOut) {
        return false;
    }
    for (const HexBlock& block : blocks) {
        const std::string text = hexBlockLine(block.address, block.data);
        std::fwrite(text.data(), 1, text.size(), out);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s framed|hex-block IMAGE OUTPUT\n", argv[0]);
        return 2;
    }
    const std::string_view protocol = argv[1];
    ImageFile file;
    std::string image;
    if (!file.open(argv[2]) || readImage(file, image, [] { return false; }) != ImageRead::Read) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    std::FILE* out = std::fopen(argv[3], "wb");
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    const bool done =
        protocol == "framed" ? framed(image, out) : protocol == "hex-block" && hexBlock(image, out);
    return std::fclose(out) == 0 && done ? 0 : 1;
}
