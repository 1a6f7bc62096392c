#include "hhtsim/flash_image.h"

#include <algorithm>
#include <cstdio>

namespace hhtsim {

namespace {
constexpr std::uint32_t kS2DataBytes = 32;

std::string s2Record(std::uint32_t address, std::span<const std::uint8_t> data) {
    auto count = static_cast<std::uint8_t>(data.size() + 4);
    unsigned sum = count + (address >> 16 & 0xFF) + (address >> 8 & 0xFF) + (address & 0xFF);
    char text[16];
    std::snprintf(text, sizeof text, "S2%02X%06X", count, address);
    std::string line = text;
    for (std::uint8_t b : data) {
        std::snprintf(text, sizeof text, "%02X", b);
        line += text;
        sum += b;
    }
    std::snprintf(text, sizeof text, "%02X\r\n", static_cast<unsigned>(~sum & 0xFF));
    return line + text;
}
}  // namespace

FlashImage::FlashImage() : pages_(kSize / kPageSize) {}
FlashImage::~FlashImage() = default;

std::size_t FlashImage::write(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    std::size_t stored = 0;
    for (std::uint8_t b : bytes) {
        if (address >= kSize) {
            break;
        }
        auto& page = pages_[address >> kPageBits];
        if (!page) {
            page = std::make_unique<Page>();
            page->data.fill(0xFF);
        }
        page->data[address & (kPageSize - 1)] = b;
        page->written.set(address & (kPageSize - 1));
        ++address;
        ++stored;
    }
    return stored;
}

void FlashImage::erase(std::uint32_t first, std::uint32_t endExclusive) {
    endExclusive = std::min(endExclusive, kSize);
    for (std::uint32_t a = first; a < endExclusive; ++a) {
        auto& page = pages_[a >> kPageBits];
        if (!page) {
            a |= kPageSize - 1;  // nothing written in this page
            continue;
        }
        page->data[a & (kPageSize - 1)] = 0xFF;
        page->written.reset(a & (kPageSize - 1));
    }
}

void FlashImage::eraseAll() {
    for (auto& page : pages_) {
        page.reset();
    }
}

std::uint8_t FlashImage::read(std::uint32_t address) const {
    if (address >= kSize || !pages_[address >> kPageBits]) {
        return 0xFF;
    }
    return pages_[address >> kPageBits]->data[address & (kPageSize - 1)];
}

bool FlashImage::isWritten(std::uint32_t address) const {
    if (address >= kSize || !pages_[address >> kPageBits]) {
        return false;
    }
    return pages_[address >> kPageBits]->written.test(address & (kPageSize - 1));
}

std::vector<FlashImage::Range> FlashImage::writtenRanges() const {
    std::vector<Range> ranges;
    bool open = false;
    for (std::uint32_t p = 0; p < pages_.size(); ++p) {
        if (!pages_[p]) {
            if (open) {
                ranges.back().endExclusive = p << kPageBits;
                open = false;
            }
            continue;
        }
        for (std::uint32_t i = 0; i < kPageSize; ++i) {
            bool written = pages_[p]->written.test(i);
            std::uint32_t address = p << kPageBits | i;
            if (written && !open) {
                ranges.push_back({address, address});
                open = true;
            } else if (!written && open) {
                ranges.back().endExclusive = address;
                open = false;
            }
        }
    }
    if (open) {
        ranges.back().endExclusive = kSize;
    }
    return ranges;
}

std::string FlashImage::toS2Text() const {
    std::string text;
    std::vector<std::uint8_t> chunk;
    for (const Range& range : writtenRanges()) {
        for (std::uint32_t a = range.first; a < range.endExclusive; a += kS2DataBytes) {
            std::uint32_t end = std::min(range.endExclusive, a + kS2DataBytes);
            chunk.clear();
            for (std::uint32_t b = a; b < end; ++b) {
                chunk.push_back(read(b));
            }
            text += s2Record(a, chunk);
        }
    }
    return text + "S804000000FB\r\n";
}

}  // namespace hhtsim
