#include "tools/talvesk-jpeg/picture_files.h"

#include <cctype>
#include <cstdio>

#include "framework/system/exceptions.h"
#include "tools/talvesk-jpeg/pixel_rows.h"
#include "tools/talvesk-jpeg/png_format.h"
#include "tools/talvesk-jpeg/pnm_format.h"

namespace {

constexpr struct {
  const char* name;
  PictureFormat format;
} kFormats[] = {{"bmp", PictureFormat::Bmp},
                {"ppm", PictureFormat::Ppm},
                {"pgm", PictureFormat::Pgm},
                {"pnm", PictureFormat::Pnm},
                {"png", PictureFormat::Png}};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::optional<PictureFormat> FormatNamed(const std::string& name) {
  for (const auto& known : kFormats) {
    if (name == known.name) return known.format;
  }
  return std::nullopt;
}

bool HasExtension(const std::string& fileName) {
  const auto dot = fileName.find_last_of("./");
  return dot != std::string::npos && dot > 0 && fileName[dot] == '.' && fileName[dot - 1] != '/';
}

std::optional<PictureFormat> FormatOfFileName(const std::string& fileName) {
  if (!HasExtension(fileName)) return std::nullopt;
  return FormatNamed(Lower(fileName.substr(fileName.rfind('.') + 1)));
}

bool ReadPicture(TBitmap& bitmap, TStream& stream) {
  std::uint8_t start[8] = {};
  const auto count = static_cast<std::size_t>(stream.Read(start, sizeof start));
  stream.Seek(-static_cast<std::int64_t>(count), TSeekOrigin::soCurrent);
  if (LooksLikePng(start, count)) return ReadPng(bitmap, stream);
  if (LooksLikePnm(start, count)) return ReadPnm(bitmap, stream);
  if (count >= 2 && start[0] == 'B' && start[1] == 'M') {
    bitmap.LoadFromStream(stream);
    return false;
  }
  char description[64] = ": empty or too short";
  if (count >= 2) {
    std::snprintf(description, sizeof description, ": starts with 0x%02x 0x%02x", start[0],
                  start[1]);
  }
  throw EInvalidGraphic(std::string("Not a BMP, PPM/PGM or PNG file") + description);
}

void WritePicture(TBitmap& bitmap, PictureFormat format, TStream& stream) {
  if (format == PictureFormat::Bmp) {
    bitmap.SaveToStream(stream);
    return;
  }
  PixelRows rows(bitmap);
  bool gray = format != PictureFormat::Ppm && rows.Gray();
  if (format == PictureFormat::Pgm && !gray) {
    throw EInvalidGraphic("A PGM file holds shades of gray: decode with --gray, or write PPM");
  }
  if (format == PictureFormat::Png) {
    WritePng(rows, gray, stream);
  } else {
    WritePnm(rows, gray, stream);
  }
}
