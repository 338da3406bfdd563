#pragma once
// The picture files the tool reads and writes besides JPEG: BMP through the framework's bitmap,
// Netpbm's PPM/PGM and PNG through the tool's own converters. The picture unit only ever sees a
// bitmap.
#include <optional>
#include <string>

#include "framework/classes/stream.h"
#include "framework/graphics/bitmap.h"

// Written: BMP as the bitmap saves itself; PPM always colour, PGM gray only, PNM gray when every
// pixel is gray (as djpeg -pnm), PNG gray when every pixel is gray.
enum class PictureFormat { Bmp, Ppm, Pgm, Pnm, Png };
inline constexpr const char* kPictureFormatNames = "bmp|ppm|pgm|pnm|png";

// The format --format names; nullopt for another name.
std::optional<PictureFormat> FormatNamed(const std::string& name);
// The format a file name's extension names, in any case; nullopt for another or none.
std::optional<PictureFormat> FormatOfFileName(const std::string& fileName);
// Whether the name's last component has an extension (".profile" has none).
bool HasExtension(const std::string& fileName);

// Reads a BMP, PPM/PGM or PNG file, told apart by its first bytes, into bitmap. Returns true when
// the format holds gray only (PGM, a gray PNG).
bool ReadPicture(TBitmap& bitmap, TStream& stream);
// Writes bitmap in format; EInvalidGraphic for PGM of a picture that is not gray.
void WritePicture(TBitmap& bitmap, PictureFormat format, TStream& stream);
