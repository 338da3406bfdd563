#pragma once
// Internal to the JPEG unit: four-component (CMYK, YCCK) rows. The library only gives them as
// inverted CMYK, as Adobe applications store it; the decode turns each row into blue, green, red
// and, when the picture asks for it, into palette indices.
#include <cstdint>

#include "framework/graphics/palette.h"

enum class TInkOutput { Colour24, Gray, Colour8 };

// Components per pixel of the library's rows.
constexpr int kInkComponents = 4;

// Inverted CMYK to blue, green, red.
void InkRowToBgr(const std::uint8_t* ink, std::uint8_t* bgr, unsigned width);
// The palette a mapped ink output indexes (Gray or Colour8); the caller owns it.
HPALETTE InkPalette(TInkOutput output);
// Blue, green, red to indices into InkPalette(output); row is the output row (for the dither).
void BgrRowToIndices(TInkOutput output, const std::uint8_t* bgr, std::uint8_t* indices,
                     unsigned width, unsigned row);
