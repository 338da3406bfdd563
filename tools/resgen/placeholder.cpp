#include "tools/resgen/placeholder.h"

#include <array>
#include <cstdint>

#include "framework/classes/stream.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/palette.h"
#include "tools/resgen/text_raster.h"

namespace {

constexpr int kSide = 105;
constexpr std::int32_t kPixelsPerMetre = 3780;  // 96 dpi

// The 16 VGA colours as R, G, B in their usual order; index 9 is bright red.
constexpr std::array<std::array<std::uint8_t, 3>, 16> kVgaColours = {{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {192, 192, 192},
    {128, 128, 128},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};
constexpr std::uint8_t kBlack = 0;
constexpr std::uint8_t kRed = 9;

// A word and the box (inclusive, from the top-left) its ink must stay inside.
struct WordBox {
  const char* utf8;
  int left, top, right, bottom;
};
constexpr std::array<WordBox, 2> kWords = {{
    {"Brak", 29, 25, 68, 37},
    {"Ok\xC5\x82"
     "adki",  // "Okładki" with l-stroke, U+0142
     16, 53, 79, 65},
}};

using IndexImage = std::array<std::array<std::uint8_t, kSide>, kSide>;  // [row][column], top-down

void PlaceCentred(IndexImage& image, const InkMask& mask, const WordBox& box) {
  const int boxWidth = box.right - box.left + 1;
  const int boxHeight = box.bottom - box.top + 1;
  const int x0 = box.left + (boxWidth - mask.width) / 2;
  const int y0 = box.top + (boxHeight - mask.height) / 2;
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      if (mask.Set(x, y))
        image[static_cast<std::size_t>(y0 + y)][static_cast<std::size_t>(x0 + x)] = kRed;
}

// Through the framework's own bitmap, so the file is exactly what the program reads and writes.
Bytes EncodeBmp4(const IndexImage& image) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf4bit);
  LOGPALETTE palette;
  palette.palNumEntries = static_cast<std::uint16_t>(kVgaColours.size());
  for (std::size_t i = 0; i < kVgaColours.size(); ++i)
    palette.palPalEntry[i] = {kVgaColours[i][0], kVgaColours[i][1], kVgaColours[i][2], 0};
  bitmap.SetPalette(CreatePalette(&palette));
  bitmap.SetPelsPerMeter(kPixelsPerMetre, kPixelsPerMetre);
  bitmap.SetSize(kSide, kSide);
  for (int row = 0; row < kSide; ++row) {
    const auto& line = image[static_cast<std::size_t>(row)];
    std::uint8_t* packed = bitmap.ScanLine(row);
    for (std::size_t x = 0; x < kSide; ++x) {
      const unsigned nibble = line[x] & 0x0F;
      packed[x / 2] =
          static_cast<std::uint8_t>(packed[x / 2] | (x % 2 == 0 ? nibble << 4 : nibble));
    }
  }
  TMemoryStream file;
  bitmap.SaveToStream(file);
  return Bytes(file.Memory(), file.Memory() + file.GetSize());
}

}  // namespace

Bytes BuildPlaceholderBmp(const std::string& fontFile) {
  MonoFont font(fontFile);
  IndexImage image{};
  for (auto& row : image) row.fill(kBlack);
  for (const WordBox& word : kWords) {
    const InkMask mask =
        font.RenderToFit(word.utf8, word.right - word.left + 1, word.bottom - word.top + 1);
    PlaceCentred(image, mask, word);
  }
  return EncodeBmp4(image);
}

Bytes WrapAsPictureData(const Bytes& bmpFile) {
  const std::string_view className = "TBitmap";
  Bytes out;
  out.reserve(1 + className.size() + 4 + bmpFile.size());
  out.push_back(static_cast<std::uint8_t>(className.size()));
  out.insert(out.end(), className.begin(), className.end());
  AppendLE32(out, static_cast<std::uint32_t>(bmpFile.size()));
  out.insert(out.end(), bmpFile.begin(), bmpFile.end());
  return out;
}
