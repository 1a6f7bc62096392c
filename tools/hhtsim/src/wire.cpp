#include "hhtsim/wire.h"

namespace hhtsim {

std::chrono::nanoseconds CharacterFormat::characterTime() const {
    const long long bits = bitsPerCharacter();
    const long long rate = baud > 0 ? baud : 1;
    return std::chrono::nanoseconds((bits * 1000000000LL + rate / 2) / rate);
}

std::optional<CharacterFormat> parseCharacterFormat(std::string_view text, int baud) {
    if (text.size() != 3 || text[0] < '5' || text[0] > '8' || (text[2] != '1' && text[2] != '2')) {
        return std::nullopt;
    }
    CharacterFormat format;
    format.baud = baud;
    format.dataBits = text[0] - '0';
    format.stopBits = text[2] - '0';
    switch (text[1]) {
        case 'N':
            format.parity = WireParity::None;
            break;
        case 'O':
            format.parity = WireParity::Odd;
            break;
        case 'E':
            format.parity = WireParity::Even;
            break;
        case 'M':
            format.parity = WireParity::Mark;
            break;
        case 'S':
            format.parity = WireParity::Space;
            break;
        default:
            return std::nullopt;
    }
    return format;
}

}  // namespace hhtsim
