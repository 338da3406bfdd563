#pragma once
// Reading the program's icon file into images the window backend can take.
#include <cstdint>
#include <span>
#include <vector>

#include "framework/window/backend.h"  // TIconImage: the images the window backend takes

// Decodes every image of a Windows icon file whose images are 32-bit BITMAPINFOHEADER images
// (colour rows then an AND mask). Anything else, or a damaged file, raises EInvalidGraphic.
std::vector<TIconImage> DecodeIcon(std::span<const std::uint8_t> file);
