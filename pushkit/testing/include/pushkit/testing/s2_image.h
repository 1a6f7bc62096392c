// Small S-record images made inside the tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pushkit::testing {

// One S2 line with a correct count and checksum, ending in CR LF.
std::string s2Line(std::uint32_t address, const std::vector<std::uint8_t>& data);
// `count` records of `bytesEach` data bytes each, back to back from `address`.
std::string s2Run(std::uint32_t address, std::size_t count, std::size_t bytesEach);
// The two application-header records at `address` naming `required` (e.g. "VKDV0100").
std::string applicationHeader(std::uint32_t address, std::string_view required);

}  // namespace pushkit::testing
