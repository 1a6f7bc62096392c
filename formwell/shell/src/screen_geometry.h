// Window geometry is designed in twips (1/1440 inch): 15 twips are one pixel at 96 dots per inch.
#pragma once

namespace formwell::shell {

inline constexpr int kTwipsPerPixel = 15;

// Rounded to the nearest pixel.
constexpr int twipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

}  // namespace formwell::shell
