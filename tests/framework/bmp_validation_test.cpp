#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/graphics/bitmap.h"
#include "framework/system/exceptions.h"
#include "tests/framework/bitmap_helpers.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A valid 8-bit BMP of 3x2 pixels with a 4-entry table, built from the documented layout.
Bytes SmallBmp() {
  Bytes bytes(14 + 40 + 16 + 8, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  Put32(bytes, 2, static_cast<std::uint32_t>(bytes.size()));
  Put32(bytes, 10, 14 + 40 + 16);
  Put32(bytes, 14, 40);
  Put32(bytes, 18, 3);
  Put32(bytes, 22, 2);
  bytes[26] = 1;        // planes
  bytes[28] = 8;        // bits
  Put32(bytes, 46, 4);  // colours used
  for (int i = 0; i < 4; ++i) bytes[54 + 4 * i + 2] = static_cast<std::uint8_t>(i * 80);  // red
  const std::uint8_t rows[8] = {3, 2, 1, 0, 1, 1, 1, 0};  // bottom row first
  std::memcpy(&bytes[70], rows, 8);
  return bytes;
}

void Load(TBitmap& bitmap, const Bytes& bytes) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream.SetPosition(0);
  bitmap.LoadFromStream(stream);
}

TEST(BmpValidation, TheHandBuiltFileIsValid) {
  TBitmap bitmap;
  Load(bitmap, SmallBmp());
  EXPECT_EQ(bitmap.GetPixelFormat(), pf8bit);
  EXPECT_EQ(bitmap.GetWidth(), 3);
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(0)[0]), RGB(80, 0, 0));
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(1)[0]), RGB(240, 0, 0));
  EXPECT_EQ(GetPaletteEntries(bitmap.GetPalette(), 0, 0, nullptr), 4U);
}

TEST(BmpValidation, EveryTruncationIsRefusedAndKeepsTheOldImage) {
  const Bytes valid = SmallBmp();
  const int palettes = GdiLiveObjectCount();
  TBitmap bitmap;
  bitmap.SetSize(9, 9);
  for (std::size_t length = 1; length < valid.size(); ++length) {
    const Bytes cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_THROW(Load(bitmap, cut), EInvalidGraphic) << length;
  }
  EXPECT_EQ(bitmap.GetWidth(), 9);
  EXPECT_EQ(bitmap.GetPixelFormat(), pf24bit);
  EXPECT_EQ(GdiLiveObjectCount(), palettes);
}

TEST(BmpValidation, CorruptHeadersAreRefused) {
  struct Damage {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int width;  // 1, 2 or 4 bytes
  };
  const Damage damages[] = {
      {"magic", 0, 'X', 1},
      {"header size", 14, 12, 4},
      {"zero width", 18, 0, 4},
      {"negative width", 18, 0xFFFFFFFFU, 4},
      {"zero height", 22, 0, 4},
      {"lowest height", 22, 0x80000000U, 4},
      {"planes", 26, 2, 2},
      {"16 bits", 28, 16, 2},
      {"run-length coding", 30, 1, 4},
      {"bit fields at 8 bits", 30, 3, 4},
      {"table larger than the format", 46, 257, 4},
      {"pixels inside the headers", 10, 20, 4},
      {"pixels beyond the end", 10, 1000, 4},
      // 65500 x 65500 at 8 bits: 4 GiB claimed by a 78-byte file.
      {"oversized", 18, 65500, 4},
  };
  for (const Damage& damage : damages) {
    Bytes bytes = SmallBmp();
    if (damage.width == 4) {
      Put32(bytes, damage.at, damage.value);
    } else {
      bytes[damage.at] = static_cast<std::uint8_t>(damage.value);  // small values only
    }
    if (std::string(damage.what) == "oversized") Put32(bytes, 22, 65500);
    TBitmap bitmap;
    try {
      Load(bitmap, bytes);
      ADD_FAILURE() << damage.what << " accepted";
    } catch (const EInvalidGraphic& error) {
      EXPECT_EQ(error.Message(), "Bitmap image is not valid") << damage.what;
    }
    EXPECT_TRUE(bitmap.Empty()) << damage.what;
  }
}

TEST(BmpValidation, EmptyBitmapIsStoredAsNoBytes) {
  TBitmap empty;
  TMemoryStream stream;
  empty.SaveToStream(stream);
  EXPECT_EQ(stream.GetSize(), 0);
  TBitmap bitmap;
  bitmap.SetSize(2, 2);
  stream.SetPosition(0);
  bitmap.LoadFromStream(stream);
  EXPECT_TRUE(bitmap.Empty());
}

}  // namespace
