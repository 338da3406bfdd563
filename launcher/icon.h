#pragma once
// Reading the program's icon file into images the window backend can take.
#include <cstdint>
#include <span>
#include <vector>

struct TIconImage {
  int Width = 0;
  int Height = 0;
  // 0xAARRGGBB per pixel, straight alpha, rows top-down.
  std::vector<std::uint32_t> Pixels;
};

// Decodes every image of a Windows icon file whose images are 32-bit BITMAPINFOHEADER images
// (colour rows then an AND mask). Anything else, or a damaged file, raises EInvalidGraphic.
std::vector<TIconImage> DecodeIcon(std::span<const std::uint8_t> file);
