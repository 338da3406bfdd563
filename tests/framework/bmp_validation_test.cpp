#include <gtest/gtest.h>

#include <cstring>

#include "framework/graphics/bitmap.h"
#include "framework/system/exceptions.h"
#include "tests/support/expect_message.h"
#include "tests/support/files.h"

namespace {

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A valid 8-bit BMP of 3x2 pixels with a 4-entry table, built from the documented layout.
Bytes SmallBmp() {
  Bytes bytes(14 + 40 + 16 + 8, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  Put32(bytes, 10, 14 + 40 + 16);
  Put32(bytes, 14, 40);
  Put32(bytes, 18, 3);
  Put32(bytes, 22, 2);
  bytes[26] = 1;        // planes
  bytes[28] = 8;        // bits
  Put32(bytes, 46, 4);  // colours used
  for (int i = 0; i < 4; ++i) bytes[54 + 4 * i + 2] = static_cast<std::uint8_t>(i * 80);  // red
  std::memcpy(&bytes[70], "\x03\x02\x01\0\x01\x01\x01\0", 8);  // bottom row first
  return bytes;
}

void Load(TBitmap& bitmap, const Bytes& bytes) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream.SetPosition(0);
  bitmap.LoadFromStream(stream);
}

TEST(BmpValidation, EveryTruncationIsRefusedAndKeepsTheOldImage) {
  const Bytes valid = SmallBmp();
  const int palettes = GdiLiveObjectCount();
  TBitmap bitmap;
  bitmap.SetSize(9, 9);
  for (std::size_t length = 1; length < valid.size(); ++length) {
    EXPECT_THROW(Load(bitmap, Bytes(valid.begin(), valid.begin() + static_cast<long>(length))),
                 EInvalidGraphic)
        << length;
  }
  EXPECT_EQ(bitmap.GetWidth(), 9);
  EXPECT_EQ(GdiLiveObjectCount(), palettes);

  Load(bitmap, valid);
  EXPECT_EQ(bitmap.GetPixelFormat(), pf8bit);
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(0)[0]), RGB(80, 0, 0));
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(1)[0]), RGB(240, 0, 0));
}

TEST(BmpValidation, CorruptHeadersAreRefused) {
  struct Damage {
    const char* what;
    std::size_t at;
    std::uint32_t value;
  };
  const Damage damages[] = {
      {"magic", 0, 0x4D58},  // "XM", and a file size nobody reads
      {"core header", 14, 12},
      {"zero width", 18, 0},
      {"negative width", 18, 0xFFFFFFFFU},
      {"zero height", 22, 0},
      {"lowest height", 22, 0x80000000U},
      {"planes", 26, 2},
      {"16 bits", 26, 0x00100001},
      {"run-length coding", 30, 1},
      {"bit fields at 8 bits", 30, 3},
      {"table larger than the format", 46, 257},
      {"pixels inside the headers", 10, 20},
      {"pixels beyond the end", 10, 1000},
      {"4 GiB of pixels in a tiny file", 18, 65500},
  };
  for (const Damage& damage : damages) {
    Bytes bytes = SmallBmp();
    Put32(bytes, damage.at, damage.value);
    if (damage.value == 65500) Put32(bytes, 22, 65500);
    SCOPED_TRACE(damage.what);
    TBitmap bitmap;
    ExpectMessage<EInvalidGraphic>([&] { Load(bitmap, bytes); }, "Bitmap image is not valid");
    EXPECT_TRUE(bitmap.Empty());
  }
}

}  // namespace
