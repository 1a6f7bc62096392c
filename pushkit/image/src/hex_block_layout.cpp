#include "pushkit/image/hex_block_layout.h"

#include <algorithm>
#include <new>

#include "pushkit/image/image_scans.h"

namespace pushkit {

namespace {

constexpr std::size_t kAddressDigits = 2 * kS2AddressBytes;
constexpr std::string_view kIdentAddress = "200034";
constexpr std::string_view kIdentMarker = "3B";  // ';' in hexadecimal, just before the identification
constexpr std::uint8_t kPadByte = 0xFF;
// The highest address is kept as address + count field, which for a whole record is 4 past the end
// of its data (3 address bytes and the checksum are counted too).
constexpr std::uint32_t kCountBeyondData = 4;

std::string upToZero(std::string text) {
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

BlockRecord decodeRecord(std::string_view line, const S2Fields& fields) {
    BlockRecord record;
    record.address = fields.address;
    record.data.resize(fields.dataLength);
    for (std::size_t i = 0; i < fields.dataLength; ++i) {
        record.data[i] = hexByte(line, kS2DataField + 2 * i);
    }
    return record;
}

class BlockWriter {
  public:
    BlockWriter(std::vector<HexBlock>& blocks, std::uint32_t start) : blocks_(blocks) { restart(start); }

    std::uint32_t end() const { return end_; }
    std::size_t used() const { return used_; }
    bool fits(std::size_t gap, std::size_t length) const { return used_ + gap + length <= kHexBlockSize; }

    void restart(std::uint32_t start) {
        block_ = HexBlock{};
        block_.data.fill(kPadByte);
        block_.address = start;
        end_ = start;
        used_ = 0;
    }
    // Gap bytes stay 0xFF; the data follows them.
    void place(std::size_t gap, const std::uint8_t* data, std::size_t length) {
        used_ += gap;
        std::copy(data, data + length, block_.data.begin() + static_cast<std::ptrdiff_t>(used_));
        used_ += length;
        end_ += static_cast<std::uint32_t>(gap + length);
    }
    void emit() {
        block_.endAddress = end_;
        blocks_.push_back(block_);
        restart(end_);
    }

  private:
    std::vector<HexBlock>& blocks_;
    HexBlock block_;
    std::uint32_t end_ = 0;
    std::size_t used_ = 0;
};

}  // namespace

BlockListResult buildBlockImage(std::string_view image, BlockImage& blockImage) {
    try {
        blockImage.records.clear();
        blockImage.records.reserve(countS2Records(image));
    } catch (const std::bad_alloc&) {
        return BlockListResult::NoMemoryForList;
    }
    LineReader lines(image, kScanLineLimit);
    std::string_view line;
    while (lines.next(line)) {
        if (!isS2Record(line)) {
            continue;
        }
        const S2Fields fields = parseS2(line);
        if (!fields.hasAddress || fields.address < kHexBlockWindowLow ||
            fields.address > kHexBlockWindowHigh) {
            continue;
        }
        try {
            blockImage.records.push_back(decodeRecord(line, fields));
        } catch (const std::bad_alloc&) {
            blockImage.records.clear();
            return BlockListResult::NoMemoryForRecord;
        }
        blockImage.lowest = std::min(blockImage.lowest, fields.address);
        blockImage.highest =
            std::max(blockImage.highest,
                     fields.address + static_cast<std::uint32_t>(fields.dataLength) + kCountBeyondData);
    }
    // Images list their records in any order. A stable sort puts them in address order in n log n
    // steps whatever that order was, and records at the same address stay in file order, so the
    // later one is laid out after the earlier.
    std::stable_sort(blockImage.records.begin(), blockImage.records.end(),
                     [](const BlockRecord& a, const BlockRecord& b) { return a.address < b.address; });
    return BlockListResult::Built;
}

LayoutResult layoutHexBlocks(const BlockImage& blockImage, std::vector<HexBlock>& blocks) {
    blocks.clear();
    if (blockImage.records.empty()) {
        return LayoutResult::NoRecord;
    }
    BlockWriter writer(blocks, blockImage.records.front().address);
    for (const BlockRecord& record : blockImage.records) {
        std::uint32_t address = record.address;
        const std::uint8_t* data = record.data.data();
        std::size_t remaining = record.data.size();
        while (true) {
            if (address < writer.end()) {
                if (remaining == 0) {
                    break;  // claims no bytes, overlaps nothing
                }
                return LayoutResult::Overlap;
            }
            const std::size_t gap = address - writer.end();
            if (writer.fits(gap, remaining)) {
                writer.place(gap, data, remaining);
                break;
            }
            if (writer.used() == 0) {
                // Padding alone would not reach the record: start the block at the record instead.
                // A record longer than a block goes on in the blocks after it.
                writer.restart(address);
                const std::size_t take = std::min(remaining, kHexBlockSize);
                writer.place(0, data, take);
                data += take;
                remaining -= take;
                address += static_cast<std::uint32_t>(take);
                if (remaining == 0) {
                    break;
                }
            }
            writer.emit();
        }
    }
    writer.emit();
    return LayoutResult::LaidOut;
}

std::string imageIdentification(std::string_view image) {
    LineReader lines(image, kScanLineLimit);
    std::string_view line;
    while (lines.next(line)) {
        if (!isS2Record(line) ||
            line.substr(std::min(kS2AddressField, line.size()), kAddressDigits) != kIdentAddress) {
            continue;
        }
        const std::size_t marker = line.find(kIdentMarker);
        if (marker == std::string_view::npos) {
            return {};
        }
        std::string ident;
        for (std::size_t i = 0; i < kIdentificationLength; ++i) {
            ident.push_back(static_cast<char>(hexByte(line, marker + kIdentMarker.size() + 2 * i)));
        }
        return upToZero(std::move(ident));
    }
    return {};
}

}  // namespace pushkit
