// Every image scan over arbitrary bytes: none may read past the image or loop without end.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pushkit/src/image_scans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view image(reinterpret_cast<const char*>(data), size);
    (void)pushkit::countS2Records(image);
    for (int kind : {101, 102, 103, 104, 0}) {
        (void)pushkit::addressRange(image, kind);
    }
    (void)pushkit::containsIdentificationRecord(image, pushkit::kIdentRecord101);
    (void)pushkit::containsIdentificationRecord(image, pushkit::kIdentRecord103);
    (void)pushkit::countHexLines(image);

    // The terminal's identification comes from the wire as well: take it from the input's head.
    const std::string_view terminal = image.substr(0, 8);
    for (int kind : {101, 102, 103, 104, 7}) {
        (void)pushkit::checkApplicationHeader(image, kind, terminal);
    }

    for (std::size_t limit :
         {pushkit::kScanLineLimit, pushkit::kSendLineLimit, pushkit::kLineProtocolLimit}) {
        pushkit::LineReader reader(image, limit);
        std::string_view line;
        while (reader.next(line)) {
            (void)pushkit::parseS2(line);
        }
    }
    return 0;
}
