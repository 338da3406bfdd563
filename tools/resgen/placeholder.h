#pragma once
// The default tile picture: "Brak" over "Okładki" ("no cover") in red on black, 105 x 105,
// as a 16-colour Windows BMP file.
#include <string>

#include "tools/resgen/byte_sink.h"

inline constexpr char kDefaultFontFile[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

Bytes BuildPlaceholderBmp(const std::string& fontFile);

// The picture holder's Data form property for a bitmap: name length, "TBitmap", then the
// bitmap's form payload (a 32-bit little-endian count and the BMP file).
Bytes WrapAsPictureData(const Bytes& bmpFile);
