// The simulated terminal's readers over any bytes from the host: DLE frames, link frames, line frames,
// ESC commands with the hex-block lines inside them, and Intel HEX lines. None may fault or keep
// more than it was given room for, and a frame read as whole and correct is exactly the bytes the
// terminal's own builder makes for what was read.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "hhtsim/loader_codec.h"
#include "hhtsim/terminal_codec.h"

namespace {

using hhtsim::Bytes;
using hhtsim::FeedStatus;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Small enough that the fuzzer reaches the overflow paths with short inputs.
constexpr std::size_t kMaxText = 48;

// Feeds the input to `reader` from every `start` byte on; `done` sees each completed unit with the
// bytes it took.
template <typename Reader, typename Done>
void readAll(std::span<const std::uint8_t> input, std::uint8_t start, Reader& reader, Done done) {
    std::size_t i = 0;
    while (i < input.size()) {
        if (input[i] != start) {
            ++i;
            continue;
        }
        reader.reset();
        const std::size_t first = i;
        FeedStatus status = FeedStatus::More;
        while (i < input.size() && status == FeedStatus::More) {
            status = reader.feed(input[i++]);
        }
        if (status == FeedStatus::Complete) {
            done(input.subspan(first, i - first));
        }
    }
}

bool same(const Bytes& built, std::span<const std::uint8_t> taken) {
    return std::equal(built.begin(), built.end(), taken.begin(), taken.end());
}

void checkHexBlockLine(std::string_view body) {
    const std::optional<hhtsim::HexBlockLine> line = hhtsim::parseHexBlockLine(body);
    if (!line) {
        return;
    }
    check(line->address <= 0xFFFFFF);
    std::uint8_t running = 0;
    std::string digits;
    char pair[8];
    std::snprintf(pair, sizeof pair, "%06X", static_cast<unsigned>(line->address));
    digits += pair;
    for (const std::uint8_t b : line->data) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        digits += pair;
        running ^= b;
    }
    std::snprintf(pair, sizeof pair, "%02X", line->check);
    digits += pair;
    check(line->checkOk == (running == line->check));
    std::string upper(body);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    check(upper == digits);
}

void checkIntelHexLines(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::optional<hhtsim::IntelHexRecord> record = hhtsim::parseIntelHexLine(line);
        if (!record) {
            continue;
        }
        // ":" LL AAAA TT data CC: the digits hold exactly the data the count announces.
        const std::size_t digits = line.find_last_not_of("\r\n") + 1 - 1;
        check(digits == 2 * (record->data.size() + 5));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);

    hhtsim::DleFrameReader dle(kMaxText);
    readAll(input, hhtsim::kDle, dle, [&dle](std::span<const std::uint8_t> taken) {
        const hhtsim::DleFrame& frame = dle.result();
        check(frame.body.size() <= kMaxText);
        (void)hhtsim::describe(hhtsim::decodeDleBody(frame.body));
        if (!frame.malformed && frame.bccOk) {
            check(same(hhtsim::buildDleFrame(frame.body), taken));
        }
    });

    hhtsim::LinkFrameReader link(kMaxText);
    readAll(input, hhtsim::kStx, link, [&link](std::span<const std::uint8_t> taken) {
        const hhtsim::LinkFrame& frame = link.result();
        check(frame.text.size() <= kMaxText);
        if (!frame.overlong && frame.checkOk) {
            check(same(hhtsim::buildLinkFrame(frame.text), taken));
        }
    });

    hhtsim::LineFrameReader line(kMaxText);
    readAll(input, hhtsim::kStx, line, [&line](std::span<const std::uint8_t> taken) {
        const hhtsim::LineFrame& frame = line.result();
        check(frame.text.size() <= kMaxText);
        check(frame.sequence >= -1 && frame.sequence <= 9);
        if (!frame.malformed && frame.bccOk && frame.sequence >= 0) {
            check(same(hhtsim::buildLineFrame(frame.sequence, frame.text), taken));
        }
    });

    // Room for a whole hex-block line, so the fuzzer can build one.
    hhtsim::EscCommandReader esc(300);
    readAll(input, hhtsim::kEsc, esc, [&esc](std::span<const std::uint8_t> taken) {
        check(esc.body().size() <= 300);
        check(esc.overlong() || taken.size() == esc.body().size() + 2);
        checkHexBlockLine(esc.body());
    });

    checkIntelHexLines(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
