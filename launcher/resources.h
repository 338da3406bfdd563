#pragma once
// The launcher's built-in resources: the default tile picture and the program's icon, generated
// by talvesk-resgen into launcher/resources/ and compiled into the program.
#include <cstdint>
#include <span>

#include "framework/system/ansistring.h"

// The default tile picture as a Windows BMP file (105 x 105, 16 colours).
std::span<const std::uint8_t> PlaceholderBitmapBytes();

// The program's icon as a Windows icon file (eight sizes, 32 bits per pixel with alpha).
std::span<const std::uint8_t> IconBytes();

// The picture holder's Data property for the default tile picture: one byte 7, "TBitmap", a
// 32-bit little-endian byte count and the BMP file; what the window layout carries as hex.
AnsiString PlaceholderPictureData();
