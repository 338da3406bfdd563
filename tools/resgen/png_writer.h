#pragma once
// PNG files of 8-bit RGBA images, written by libpng.
#include "tools/resgen/byte_sink.h"
#include "tools/resgen/disc_icon.h"

Bytes EncodePng(const RgbaImage& image);
