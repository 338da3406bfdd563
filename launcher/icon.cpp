#include "launcher/icon.h"

#include "framework/system/exceptions.h"
#include "framework/system/little_endian.h"

namespace {

constexpr std::size_t kDirectoryBytes = 6;
constexpr std::size_t kEntryBytes = 16;
constexpr std::uint32_t kInfoHeaderBytes = 40;

[[noreturn]] void Damaged(const char* what) {
  throw EInvalidGraphic(AnsiString("Invalid icon file: ") + what);
}

std::uint32_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return ReadLE16(&bytes[at]);
}

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return ReadLE32(&bytes[at]);
}

TIconImage DecodeImage(std::span<const std::uint8_t> image) {
  if (image.size() < kInfoHeaderBytes || ReadU32(image, 0) != kInfoHeaderBytes)
    Damaged("an image lacks its bitmap header");
  const auto width = static_cast<std::int32_t>(ReadU32(image, 4));
  const auto doubledHeight = static_cast<std::int32_t>(ReadU32(image, 8));
  if (ReadU16(image, 14) != 32 || ReadU32(image, 16) != 0)
    Damaged("only uncompressed 32-bit images are supported");
  // Icons are stored bottom-up with the height counting the mask rows too.
  if (width < 1 || width > 256 || doubledHeight < 2 || doubledHeight > 512 ||
      doubledHeight % 2 != 0)
    Damaged("an image has an impossible size");
  const auto w = static_cast<std::size_t>(width);
  const auto h = static_cast<std::size_t>(doubledHeight / 2);
  const std::size_t colourBytes = w * h * 4;
  const std::size_t maskRowBytes = (w + 31) / 32 * 4;
  if (image.size() < kInfoHeaderBytes + colourBytes + maskRowBytes * h)
    Damaged("an image is cut short");
  const std::span<const std::uint8_t> colour = image.subspan(kInfoHeaderBytes, colourBytes);
  const std::span<const std::uint8_t> mask = image.subspan(kInfoHeaderBytes + colourBytes);

  TIconImage out;
  out.width = width;
  out.height = doubledHeight / 2;
  out.argb.resize(w * h);
  bool anyAlpha = false;
  for (std::size_t y = 0; y < h; ++y) {
    const std::span<const std::uint8_t> row = colour.subspan((h - 1 - y) * w * 4, w * 4);
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint8_t* p = &row[x * 4];  // B, G, R, A
      anyAlpha = anyAlpha || p[3] != 0;
      out.argb[y * w + x] = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) |
                            (std::uint32_t{p[1]} << 8) | p[0];
    }
  }
  // An image without any alpha predates alpha in icons: its AND mask alone says what shows.
  if (!anyAlpha) {
    for (std::size_t y = 0; y < h; ++y) {
      const std::span<const std::uint8_t> row =
          mask.subspan((h - 1 - y) * maskRowBytes, maskRowBytes);
      for (std::size_t x = 0; x < w; ++x) {
        const bool transparent = (row[x / 8] & (0x80 >> (x % 8))) != 0;
        if (!transparent) out.argb[y * w + x] |= 0xFF000000U;
      }
    }
  }
  return out;
}

}  // namespace

std::vector<TIconImage> DecodeIcon(std::span<const std::uint8_t> file) {
  if (file.size() < kDirectoryBytes || ReadU16(file, 0) != 0 || ReadU16(file, 2) != 1)
    Damaged("not an icon file");
  const std::size_t count = ReadU16(file, 4);
  if (count == 0) Damaged("no images");
  if (file.size() < kDirectoryBytes + count * kEntryBytes) Damaged("the directory is cut short");

  std::vector<TIconImage> images;
  images.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kDirectoryBytes + i * kEntryBytes;
    const std::size_t bytes = ReadU32(file, entry + 8);
    const std::size_t offset = ReadU32(file, entry + 12);
    if (offset > file.size() || bytes > file.size() - offset)
      Damaged("an image lies outside the file");
    TIconImage image = DecodeImage(file.subspan(offset, bytes));
    // The directory's size bytes say 0 for 256.
    const std::uint32_t listedWidth = file[entry] == 0 ? 256 : file[entry];
    const std::uint32_t listedHeight = file[entry + 1] == 0 ? 256 : file[entry + 1];
    if (listedWidth != static_cast<std::uint32_t>(image.width) ||
        listedHeight != static_cast<std::uint32_t>(image.height))
      Damaged("the directory and an image disagree on its size");
    images.push_back(std::move(image));
  }
  return images;
}
