// What the loader knows about the terminals it loads, in one place: one row per terminal kind (how it
// is recognised, where its image keeps its application header, the flash it erases and how), the
// flash parts that decide the erase block size, and the HEX name prefixes that pick a transfer. The
// transfers, the scans, the name rules and the image check all read these tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace pushkit {

// The terminal kinds of the framed protocol, known by their numbers.
enum class TerminalKind { Kind101, Kind102, Kind103, Kind104 };

// The flash a kind's program lives in: the address range counts only records inside it, and its
// erase blocks are numbered from its base.
struct KindWindow {
    std::uint32_t base = 0;
    std::uint32_t end = 0;  // one past the last address
};

enum class EraseRule {
    None,    // nothing is erased
    Blocks,  // every block of the window the image's records cover
    Whole,   // one erase of everything, in large blocks without asking the flash part
};

// Records sent around the image of a kind named by its identification record.
struct LoadMarkers {
    std::array<std::string_view, 2> open;  // before the erase, then a close frame
    std::string_view close;                // after the last record
};

struct TerminalKindRow {
    TerminalKind kind;
    int number;                                // how the terminals and their images name the kind
    std::array<std::string_view, 2> families;  // first letters of the terminal's identification answer
    std::string_view identRecord;              // the image's record naming the kind; empty: none
    std::string_view headerAddress;            // address digits of the application header's records
    std::optional<KindWindow> window;          // none: every address is the kind's
    EraseRule erase;
    std::optional<LoadMarkers> markers;  // only when the image names the kind
};

inline constexpr TerminalKindRow kTerminalKinds[] = {
    {TerminalKind::Kind101,
     101,
     {"VKA"},
     "S20E300000515058206279205A414EC4",
     "310000",
     KindWindow{0x300000, 0x380000},
     EraseRule::Blocks,
     std::nullopt},
    {TerminalKind::Kind102, 102, {"VKD", "VKF"}, {}, "030000", std::nullopt, EraseRule::None, std::nullopt},
    // 0x00 at 0x200000 and 0xFF at 0x20FFFF open the load, 0x00 at 0x20FFFF closes it.
    {TerminalKind::Kind103,
     103,
     {"VKN"},
     "S20E2000004B5452206279205A414EDC",
     "210000",
     KindWindow{0x200000, 0x280000},
     EraseRule::Blocks,
     LoadMarkers{{"S20520000000DA", "S20520FFFFFFDA"}, "S20520FFFF00DC"}},
    {TerminalKind::Kind104, 104, {"VKS"}, {}, "240000", std::nullopt, EraseRule::Whole, std::nullopt},
};

constexpr bool rowsInKindOrder() {
    for (std::size_t i = 0; i < std::size(kTerminalKinds); ++i) {
        if (kTerminalKinds[i].kind != static_cast<TerminalKind>(i)) {
            return false;
        }
    }
    return true;
}
constexpr bool blockErasesHaveWindows() {
    for (const TerminalKindRow& row : kTerminalKinds) {
        if (row.erase == EraseRule::Blocks && !row.window) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInKindOrder(), "terminalKind() finds a kind's row by its place in the table");
static_assert(blockErasesHaveWindows(), "erase blocks are numbered from the window's base");

constexpr const TerminalKindRow& terminalKind(TerminalKind kind) {
    return kTerminalKinds[static_cast<std::size_t>(kind)];
}
constexpr int kindNumber(TerminalKind kind) {
    return terminalKind(kind).number;
}

// An image may hold both identification records; the loader tries 103's first.
inline constexpr std::array kIdentRecordOrder{TerminalKind::Kind103, TerminalKind::Kind101};

// The kind whose family the identification's first three letters name, compared exactly.
constexpr std::optional<TerminalKind> kindOfFamily(std::string_view letters) {
    for (const TerminalKindRow& row : kTerminalKinds) {
        for (const std::string_view family : row.families) {
            if (!family.empty() && family == letters) {
                return row.kind;
            }
        }
    }
    return std::nullopt;
}

// Erase block sizes: the flash part answering its query with one of these first two bytes erases in
// large blocks, any other answer (a short one included) in small ones. Erase frames number large
// blocks from 8 on, so the terminal can tell the two sizes apart.
inline constexpr std::uint32_t kSmallEraseBlock = 16 * 1024;
inline constexpr std::uint32_t kLargeEraseBlock = 64 * 1024;
inline constexpr std::uint8_t kLargeBlockNumberOffset = 8;
inline constexpr std::array<std::array<std::uint8_t, 2>, 3> kLargeBlockFlashIds{
    {{0xA4, 0x01}, {0xA4, 0x1F}, {0xE2, 0x20}}};

// The transfer an image's file name picks: any extension but .HEX is an S-record image, which the
// terminal's answer routes; a .HEX image goes by the first three letters of its base name.
enum class ImageRoute {
    SRecord,           // any extension but .HEX: identified by the terminal's answer
    RawStream,         // .HEX named VKD..., VKF... or VKL...
    LineProtocol,      // .HEX named VKS...
    UnknownHexPrefix,  // .HEX named anything else: refused
};
struct HexNamePrefix {
    std::string_view letters;  // compared without regard to case
    ImageRoute route;
};
inline constexpr HexNamePrefix kHexNamePrefixes[] = {
    {"VKD", ImageRoute::RawStream},
    {"VKF", ImageRoute::RawStream},
    {"VKL", ImageRoute::RawStream},
    {"VKS", ImageRoute::LineProtocol},
};

}  // namespace pushkit
