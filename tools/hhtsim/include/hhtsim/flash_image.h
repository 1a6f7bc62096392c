// The terminal's emulated flash: a 24-bit address space that reads 0xFF where nothing was written.
// Memory is taken in pages as they are first written, so a stray address costs one page, not 16 MiB.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace hhtsim {

class FlashImage {
  public:
    static constexpr std::uint32_t kSize = 1u << 24;

    FlashImage();
    ~FlashImage();

    // Bytes beyond the 24-bit space are dropped; the result is how many were stored.
    std::size_t write(std::uint32_t address, std::span<const std::uint8_t> bytes);
    // Erased bytes read 0xFF and no longer count as written.
    void erase(std::uint32_t first, std::uint32_t endExclusive);
    void eraseAll();
    std::uint8_t read(std::uint32_t address) const;
    bool isWritten(std::uint32_t address) const;

    struct Range {
        std::uint32_t first = 0;
        std::uint32_t endExclusive = 0;
    };
    std::vector<Range> writtenRanges() const;

    // S2 records of at most 32 data bytes for the written ranges, then an S8 end record; lines end in
    // CR LF like the images the loader reads.
    std::string toS2Text() const;

  private:
    static constexpr std::uint32_t kPageBits = 12;
    static constexpr std::uint32_t kPageSize = 1u << kPageBits;
    struct Page {
        std::array<std::uint8_t, kPageSize> data;
        std::bitset<kPageSize> written;
    };
    std::vector<std::unique_ptr<Page>> pages_;
};

}  // namespace hhtsim
