#pragma once
// Windows icon files: every image a 32-bit BITMAPINFOHEADER image (straight alpha, height
// doubled for the AND mask that follows the colour rows).
#include <vector>

#include "tools/resgen/byte_sink.h"
#include "tools/resgen/disc_icon.h"

Bytes EncodeIco(const std::vector<RgbaImage>& images);
