#include "images.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace bench {

namespace {

constexpr std::size_t kS2DataBytes = 32;
constexpr std::size_t kHexDataBytes = 16;

std::uint8_t patternByte(std::size_t index) {
    return static_cast<std::uint8_t>((index * 7 + index / 251) & 0xFF);
}

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        text += digits;
    }
    return text;
}

// "S2", count, address, data, ones' complement checksum, CR LF.
std::string s2Line(std::uint32_t address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> body{
        static_cast<std::uint8_t>(data.size() + 4), static_cast<std::uint8_t>(address >> 16),
        static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const std::uint8_t b : body) {
        sum += b;
    }
    body.push_back(static_cast<std::uint8_t>(~sum));
    return "S2" + hexOf(body) + "\r\n";
}

// ':', count, offset, type, data, two's complement checksum, CR LF.
std::string hexLine(std::uint16_t offset, std::uint8_t type, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> body{static_cast<std::uint8_t>(data.size()),
                                   static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset),
                                   type};
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const std::uint8_t b : body) {
        sum += b;
    }
    body.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    return ":" + hexOf(body) + "\r\n";
}

void addS2Records(BenchImage& image, std::uint32_t base, std::size_t dataBytes) {
    for (std::size_t done = 0; done < dataBytes; done += kS2DataBytes) {
        std::vector<std::uint8_t> data;
        for (std::size_t i = done; i < std::min(dataBytes, done + kS2DataBytes); ++i) {
            data.push_back(patternByte(i));
            image.bytes[base + static_cast<std::uint32_t>(i)] = data.back();
        }
        image.text += s2Line(base + static_cast<std::uint32_t>(done), data);
    }
}

}  // namespace

BenchImage framedImage(std::size_t dataBytes) {
    BenchImage image;
    // The identification record names kind 103; its ten bytes are ordinary data at 0x200000.
    image.text = "S20E2000004B5452206279205A414EDC\r\n";
    const std::string ident = "KTR by ZAN";
    for (std::size_t i = 0; i < ident.size(); ++i) {
        image.bytes[0x200000 + static_cast<std::uint32_t>(i)] = static_cast<std::uint8_t>(ident[i]);
    }
    addS2Records(image, 0x200100, dataBytes);
    image.text += "S804000000FB\r\n";
    return image;
}

BenchImage hexBlockImage(std::size_t dataBytes) {
    BenchImage image;
    addS2Records(image, 0x200000, dataBytes);
    image.text += "S804000000FB\r\n";
    return image;
}

BenchImage lineImage(std::size_t dataBytes) {
    BenchImage image;
    for (std::size_t done = 0; done < dataBytes; done += kHexDataBytes) {
        std::vector<std::uint8_t> data;
        for (std::size_t i = done; i < std::min(dataBytes, done + kHexDataBytes); ++i) {
            data.push_back(patternByte(i));
            image.bytes[static_cast<std::uint32_t>(i)] = data.back();
        }
        image.text += hexLine(static_cast<std::uint16_t>(done), 0x00, data);
    }
    image.text += ":00000001FF\r\n";
    return image;
}

std::string iniFile(int fields) {
    std::string text;
    char record[64];
    for (int i = 0; i < fields; ++i) {
        std::snprintf(record, sizeof record, "%-15s%-6s%-3d%-3d%-1s%-1s%-13s",
                      ("FIELD" + std::to_string(i)).c_str(), i % 2 ? "Number" : "Text", 1, i % 14 + 1, "Y",
                      i == 0 ? "Y" : "N", "0111111111111");
        text += std::string(record).substr(0, 42);
        text += "\r\n";
    }
    return text;
}

std::string dataRecords(int count, std::size_t length) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        std::string record = std::to_string(100000 + i) + ",";
        record.resize(length, 'D');
        text += record + "\n";
    }
    return text;
}

bool readFlashDump(const std::filesystem::path& path, ByteMap& flash) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    const auto byteAt = [&line](std::size_t pos) {
        return static_cast<std::uint8_t>(std::stoul(line.substr(pos, 2), nullptr, 16));
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("S8", 0) == 0) {
            continue;
        }
        if (line.rfind("S2", 0) != 0 || line.size() < 12) {
            return false;
        }
        const std::size_t count = byteAt(2);
        if (line.size() != 4 + 2 * count) {
            return false;
        }
        const std::uint32_t address =
            (std::uint32_t{byteAt(4)} << 16) | (std::uint32_t{byteAt(6)} << 8) | byteAt(8);
        for (std::size_t i = 0; i + 4 < count; ++i) {
            flash[address + static_cast<std::uint32_t>(i)] = byteAt(10 + 2 * i);
        }
    }
    return true;
}

bool holdsEvery(const ByteMap& flash, const ByteMap& expected, std::string& difference) {
    for (const auto& [address, value] : expected) {
        const auto found = flash.find(address);
        if (found == flash.end() || found->second != value) {
            char text[96];
            std::snprintf(text, sizeof text, "at %06X the flash holds %s, the image %02X", address,
                          found == flash.end() ? "nothing" : std::to_string(found->second).c_str(), value);
            difference = text;
            return false;
        }
    }
    return true;
}

}  // namespace bench
