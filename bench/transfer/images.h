// Program images for the transfer benchmark, written as text with the bytes they describe kept beside
// them, so that a load is checked against what was meant, not against a parse of the same text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace bench {

using ByteMap = std::map<std::uint32_t, std::uint8_t>;

struct BenchImage {
    std::string text;
    ByteMap bytes;  // every data byte the image describes, by address
};

// An S-record image for the framed loader: the kind-103 identification record first (so the loader
// checks presence, sends the marker records and erases by blocks), then `dataBytes` bytes in records
// of 32 from 0x200100. The data include 0x10 bytes, which go out doubled.
BenchImage framedImage(std::size_t dataBytes);
// An S-record image for the hex-block loader: `dataBytes` bytes in records of 32 from 0x200000.
BenchImage hexBlockImage(std::size_t dataBytes);
// An Intel HEX image for the line protocol: `dataBytes` bytes in lines of 16 from 0, then the end
// record.
BenchImage lineImage(std::size_t dataBytes);
// An INI file of `fields` records of 42 characters (CR LF after each), as the editor saves them.
std::string iniFile(int fields);
// Data records as a terminal collects them: `count` lines of `length` characters.
std::string dataRecords(int count, std::size_t length);

// Reads the S2 records a flash dump holds; false when a line is not one.
bool readFlashDump(const std::filesystem::path& path, ByteMap& flash);
// True when every byte of `expected` is in `flash` with the same value; the first difference otherwise.
bool holdsEvery(const ByteMap& flash, const ByteMap& expected, std::string& difference);

}  // namespace bench
