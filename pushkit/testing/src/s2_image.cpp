#include "pushkit/testing/s2_image.h"

#include <cstdio>

namespace pushkit::testing {

std::string s2Line(std::uint32_t address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes{
        static_cast<std::uint8_t>(data.size() + 4), static_cast<std::uint8_t>(address >> 16U),
        static_cast<std::uint8_t>(address >> 8U), static_cast<std::uint8_t>(address)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string line = "S2";
    for (const std::uint8_t b : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
        sum += b;
    }
    char check[3];
    std::snprintf(check, sizeof check, "%02X", ~sum & 0xFFU);
    return line + check + "\r\n";
}

std::string s2Run(std::uint32_t address, std::size_t count, std::size_t bytesEach) {
    std::string image;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint8_t> data(bytesEach);
        for (std::size_t j = 0; j < bytesEach; ++j) {
            data[j] = static_cast<std::uint8_t>(i * bytesEach + j);
        }
        image += s2Line(address + static_cast<std::uint32_t>(i * bytesEach), data);
    }
    return image;
}

std::string applicationHeader(std::uint32_t address, std::string_view required) {
    const std::string_view tag = "APPLICATION;";
    return s2Line(address, {tag.begin(), tag.end()}) +
           s2Line(address + static_cast<std::uint32_t>(tag.size()), {required.begin(), required.end()});
}

}  // namespace pushkit::testing
