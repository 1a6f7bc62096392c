// Every image scan, record frame and hex-block layout over arbitrary bytes: none may read past the
// image or loop without end, and no record may carry bytes its line does not hold.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "frame_codec.h"
#include "pushkit/image/hex_block_layout.h"
#include "pushkit/image/image_scans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view image(reinterpret_cast<const char*>(data), size);
    (void)pushkit::countS2Records(image);
    (void)pushkit::addressRange(image, std::nullopt);
    for (const pushkit::TerminalKindRow& row : pushkit::kTerminalKinds) {
        (void)pushkit::addressRange(image, row.kind);
        (void)pushkit::containsIdentificationRecord(image, row.identRecord);
    }
    (void)pushkit::countHexLines(image);

    // The terminal's identification comes from the wire as well: take it from the input's head.
    const std::string_view terminal = image.substr(0, 8);
    for (const pushkit::TerminalKindRow& row : pushkit::kTerminalKinds) {
        (void)pushkit::checkApplicationHeader(image, row.kind, terminal);
    }

    for (std::size_t limit :
         {pushkit::kScanLineLimit, pushkit::kSendLineLimit, pushkit::kLineProtocolLimit}) {
        pushkit::LineReader reader(image, limit);
        std::string_view line;
        while (reader.next(line)) {
            // A record never carries more than its count allows or its digits hold.
            const pushkit::S2Fields fields = pushkit::parseS2(line);
            const std::size_t digits = std::min(line.size(), line.find_first_of("\r\n"));
            if (fields.carried + 1 > std::max<std::size_t>(fields.count, 1) ||
                4 + 2 * fields.carried > std::max<std::size_t>(digits, 4)) {
                std::abort();
            }
            (void)pushkit::recordFrame(line);
        }
    }

    pushkit::BlockImage blocks;
    if (pushkit::buildBlockImage(image, blocks) == pushkit::BlockListResult::Built) {
        std::vector<pushkit::HexBlock> laidOut;
        (void)pushkit::layoutHexBlocks(blocks, laidOut);
    }
    return 0;
}
