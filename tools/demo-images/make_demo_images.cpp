// Writes the demo's program images from a text of ours: an S-record image for the framed protocol
// and an Intel HEX image for the line protocol, both of which the simulated terminal loads.
//
//   make-demo-images SOURCE.txt OUTDIR
//
// sample.s2      kind-103 identification record, the program text (repeated to kProgramBytes) in
//                S2 records of 32 data bytes from 0x200100, the application header at 0x210000
//                asking for a VKN terminal of version 0100 or later, S0 and S8 around them
// VKSDEMO.HEX    the same text in records of 16 data bytes from 0x240000 (extended linear address
//                0x0024), then the end record; the name's VKS sends it by the line protocol
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kProgramBytes = 16 * 1024;  // seconds of loading at 19200 baud: long enough to watch
constexpr std::size_t kHexProgramBytes = 8 * 1024;
constexpr std::uint32_t kS2Start = 0x200100;
constexpr std::size_t kS2DataBytes = 32;  // the longest record every reader of the loader takes whole
constexpr std::uint32_t kHeaderAddress = 0x210000;
constexpr std::uint32_t kHexStart = 0x240000;
constexpr std::size_t kHexDataBytes = 16;  // 43 characters and CR LF: within the line protocol's 49

// The record that names the image's loader kind 103 ("KTR by ZAN" at 0x200000).
constexpr const char* kKind103Record = "S20E2000004B5452206279205A414EDC";

std::string hexByte(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

// An S-record: type, count (address, data, checksum), the address high byte first, the data, and
// the ones' complement of the byte sum.
std::string sRecord(char type, int addressBytes, std::uint32_t address, const Bytes& data) {
    const unsigned count = static_cast<unsigned>(data.size()) + static_cast<unsigned>(addressBytes) + 1;
    unsigned sum = count;
    std::string line = std::string("S") + type + hexByte(count);
    for (int shift = 8 * (addressBytes - 1); shift >= 0; shift -= 8) {
        line += hexByte(address >> shift);
        sum += (address >> shift) & 0xFFu;
    }
    for (const std::uint8_t b : data) {
        line += hexByte(b);
        sum += b;
    }
    return line + hexByte(~sum) + "\r\n";
}

std::string s2Record(std::uint32_t address, const Bytes& data) {
    return sRecord('2', 3, address, data);
}

// Intel HEX: length, 16-bit offset, type, data, two's complement of the byte sum.
std::string hexRecord(unsigned type, std::uint16_t offset, const Bytes& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + offset + type;
    std::string line = ":" + hexByte(static_cast<unsigned>(data.size())) + hexByte(offset >> 8u) +
                       hexByte(offset) + hexByte(type);
    for (const std::uint8_t b : data) {
        line += hexByte(b);
        sum += b;
    }
    return line + hexByte(0x100u - (sum & 0xFFu)) + "\r\n";
}

Bytes program(const std::string& text, std::size_t size) {
    Bytes bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        for (const char c : text) {
            if (bytes.size() == size) {
                break;
            }
            bytes.push_back(static_cast<std::uint8_t>(c));
        }
    }
    return bytes;
}

std::string s2Image(const Bytes& bytes) {
    const std::string title = "demo program";
    std::string image = sRecord('0', 2, 0, Bytes(title.begin(), title.end()));
    image += std::string(kKind103Record) + "\r\n";
    for (std::size_t at = 0; at < bytes.size(); at += kS2DataBytes) {
        const std::size_t n = std::min(kS2DataBytes, bytes.size() - at);
        image += s2Record(kS2Start + static_cast<std::uint32_t>(at),
                          Bytes(bytes.begin() + at, bytes.begin() + at + n));
    }
    const std::string first = "APPLICATION;";
    const std::string second = "VKNV0100";
    image += s2Record(kHeaderAddress, Bytes(first.begin(), first.end()));
    image += s2Record(kHeaderAddress + static_cast<std::uint32_t>(first.size()),
                      Bytes(second.begin(), second.end()));
    return image + sRecord('8', 3, 0, {});
}

std::string hexImage(const Bytes& bytes) {
    std::string image = hexRecord(
        0x04, 0,
        Bytes{static_cast<std::uint8_t>(kHexStart >> 24), static_cast<std::uint8_t>(kHexStart >> 16)});
    for (std::size_t at = 0; at < bytes.size(); at += kHexDataBytes) {
        const std::size_t n = std::min(kHexDataBytes, bytes.size() - at);
        image += hexRecord(0x00, static_cast<std::uint16_t>((kHexStart + at) & 0xFFFF),
                           Bytes(bytes.begin() + at, bytes.begin() + at + n));
    }
    return image + ":00000001FF\r\n";
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "make-demo-images: cannot write " << path << '\n';
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make-demo-images SOURCE.txt OUTDIR\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::cerr << "make-demo-images: cannot read " << argv[1] << '\n';
        return 1;
    }
    if (text.empty()) {
        std::cerr << "make-demo-images: " << argv[1] << " is empty\n";
        return 1;
    }
    const std::string dir = argv[2];
    return writeFile(dir + "/sample.s2", s2Image(program(text, kProgramBytes))) &&
                   writeFile(dir + "/VKSDEMO.HEX", hexImage(program(text, kHexProgramBytes)))
               ? 0
               : 1;
}
