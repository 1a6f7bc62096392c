// How an S-record image becomes the 128-byte text blocks of the hex-block protocol: pure functions,
// no port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pushkit {

// The flash window the hex-block loader writes, both ends included.
inline constexpr std::uint32_t kHexBlockWindowLow = 0x200000;
inline constexpr std::uint32_t kHexBlockWindowHigh = 0x220000;

// The bytes of one hex-block line.
inline constexpr std::size_t kHexBlockSize = 128;
using HexBlockData = std::array<std::uint8_t, kHexBlockSize>;

struct BlockRecord {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};

// The image's S2 records inside the window, sorted by address (equal addresses keep file order), each
// with the bytes it carries (parseS2); a line without a whole address places nothing.
struct BlockImage {
    std::vector<BlockRecord> records;
    std::uint32_t lowest = 0xFFFFFFFF;  // lowest record address
    std::uint32_t highest = 0;          // 4 past the end of the highest record's data (address + count)
};

enum class BlockListResult { Built, NoMemoryForList, NoMemoryForRecord };
BlockListResult buildBlockImage(std::string_view image, BlockImage& blockImage);

struct HexBlock {
    std::uint32_t address = 0;     // where the block's first byte goes
    HexBlockData data{};           // unused bytes are 0xFF
    std::uint32_t endAddress = 0;  // just past the last record byte placed in it
};

enum class LayoutResult {
    LaidOut,
    NoRecord,  // no S2 record inside the window
    Overlap,   // two records claim the same bytes
};
// Lays the records out in blocks. Each block starts where the previous one's data ended (its
// padding may cover the next block's start); a record too far from the running block starts a
// new block at its own address.
LayoutResult layoutHexBlocks(const BlockImage& blockImage, std::vector<HexBlock>& blocks);

// The image's identification: 8 bytes after the first "3B" in the first S2 line at 0x200034,
// up to the first zero byte; empty when there is no such line.
std::string imageIdentification(std::string_view image);

}  // namespace pushkit
