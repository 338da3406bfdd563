// Four-component rows into the picture's output: colour, gray levels or a colour cube.
#include "jpeg/ink.h"

namespace {

// As many gray levels as other grayscale decodes have colours.
constexpr unsigned kGrayLevels = 236;
// A 6 x 6 x 6 colour cube; index = red * 36 + green * 6 + blue.
constexpr unsigned kCubeSteps = 6;

std::uint8_t Ink(unsigned inverted, unsigned black) {
  return static_cast<std::uint8_t>((inverted * black * 2 + 255) / 510);
}

// The library's own weights for colour to gray (0.299, 0.587, 0.114 in 16-bit fixed point).
unsigned Luminance(const std::uint8_t* bgr) {
  return (19595u * bgr[2] + 38470u * bgr[1] + 7471u * bgr[0] + 32768u) >> 16;
}

std::uint8_t GrayLevel(unsigned index) {
  return static_cast<std::uint8_t>((index * 255 + (kGrayLevels - 1) / 2) / (kGrayLevels - 1));
}

// 4 x 4 ordered dither thresholds, 0 to 15.
constexpr std::uint8_t kBayer[4][4] = {
    {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The cube step of a component: floor(value * 5 / 255 + (threshold + 0.5) / 16), so that each
// pixel takes one of the two steps around its value.
unsigned CubeStep(unsigned value, unsigned threshold) {
  return (value * (kCubeSteps - 1) * 32 + (2 * threshold + 1) * 255) / (255 * 32);
}

}  // namespace

void InkRowToBgr(const std::uint8_t* ink, std::uint8_t* bgr, unsigned width) {
  for (unsigned x = 0; x < width; ++x, ink += kInkComponents, bgr += 3) {
    bgr[0] = Ink(ink[2], ink[3]);
    bgr[1] = Ink(ink[1], ink[3]);
    bgr[2] = Ink(ink[0], ink[3]);
  }
}

HPALETTE InkPalette(TInkOutput output) {
  LOGPALETTE palette;
  if (output == TInkOutput::Gray) {
    palette.palNumEntries = kGrayLevels;
    for (unsigned i = 0; i < kGrayLevels; ++i) {
      const std::uint8_t level = GrayLevel(i);
      palette.palPalEntry[i] = {level, level, level, 0};
    }
  } else {
    palette.palNumEntries = static_cast<std::uint16_t>(kCubeSteps * kCubeSteps * kCubeSteps);
    for (unsigned i = 0; i < palette.palNumEntries; ++i) {
      const auto step = [](unsigned n) { return static_cast<std::uint8_t>(n * 255 / 5); };
      palette.palPalEntry[i] = {step(i / 36), step(i / 6 % 6), step(i % 6), 0};
    }
  }
  return CreatePalette(&palette);
}

void BgrRowToIndices(TInkOutput output, const std::uint8_t* bgr, std::uint8_t* indices,
                     unsigned width, unsigned row) {
  if (output == TInkOutput::Gray) {
    for (unsigned x = 0; x < width; ++x, bgr += 3) {
      indices[x] = static_cast<std::uint8_t>((Luminance(bgr) * (kGrayLevels - 1) + 127) / 255);
    }
    return;
  }
  const std::uint8_t* thresholds = kBayer[row % 4];
  for (unsigned x = 0; x < width; ++x, bgr += 3) {
    const unsigned t = thresholds[x % 4];
    indices[x] = static_cast<std::uint8_t>(CubeStep(bgr[2], t) * 36 + CubeStep(bgr[1], t) * 6 +
                                           CubeStep(bgr[0], t));
  }
}
