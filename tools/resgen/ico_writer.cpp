#include "tools/resgen/ico_writer.h"

#include <stdexcept>

namespace {

std::uint32_t MaskRowBytes(int size) { return static_cast<std::uint32_t>((size + 31) / 32 * 4); }

std::uint32_t ImageBytes(int size) {
  const auto side = static_cast<std::uint32_t>(size);
  return 40 + side * side * 4 + MaskRowBytes(size) * side;
}

void PutImage(Bytes& out, const RgbaImage& image) {
  const int size = image.size;
  AppendLE32(out, 40);
  AppendLE32(out, static_cast<std::uint32_t>(size));
  AppendLE32(out, static_cast<std::uint32_t>(size * 2));  // colour rows and mask rows
  AppendLE16(out, 1);
  AppendLE16(out, 32);
  AppendLE32(out, 0);  // BI_RGB
  AppendLE32(out, ImageBytes(size) - 40);
  for (int i = 0; i < 4; ++i) AppendLE32(out, 0);
  // Colour rows bottom-up as B, G, R, A.
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                              static_cast<std::size_t>(x)) *
                             4;
      out.push_back(image.rgba[at + 2]);
      out.push_back(image.rgba[at + 1]);
      out.push_back(image.rgba[at]);
      out.push_back(image.rgba[at + 3]);
    }
  }
  // AND mask bottom-up: 1 = transparent, for readers that ignore alpha.
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(MaskRowBytes(size), 0);
    for (int x = 0; x < size; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                              static_cast<std::size_t>(x)) *
                             4;
      if (image.rgba[at + 3] == 0)
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

}  // namespace

Bytes EncodeIco(const std::vector<RgbaImage>& images) {
  Bytes out;
  AppendLE16(out, 0);
  AppendLE16(out, 1);  // icon
  AppendLE16(out, static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (const RgbaImage& image : images) {
    if (image.size < 1 || image.size > 256) throw std::runtime_error("icon size out of range");
    const auto side = static_cast<std::uint8_t>(image.size == 256 ? 0 : image.size);
    out.push_back(side);  // width
    out.push_back(side);  // height
    out.push_back(0);     // no colour count: true colour
    out.push_back(0);
    AppendLE16(out, 1);   // planes
    AppendLE16(out, 32);  // bits per pixel
    AppendLE32(out, ImageBytes(image.size));
    AppendLE32(out, offset);
    offset += ImageBytes(image.size);
  }
  for (const RgbaImage& image : images) PutImage(out, image);
  return out;
}
