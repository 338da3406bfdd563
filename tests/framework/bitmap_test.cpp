#include "framework/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "framework/graphics/clipboard.h"
#include "framework/graphics/pixel_memory.h"
#include "framework/system/exceptions.h"
#include "tests/support/expect_message.h"
#include "tests/support/gray_palette.h"

namespace {

TEST(Bitmap, SetSizeKeepsOverlappingPixelsAndClearsKeepFormatOrderAndPalette) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf4bit);
  bitmap.SetPalette(GrayPalette(16));
  const HPALETTE palette = bitmap.GetPalette();
  bitmap.SetSize(3, 2);
  bitmap.ScanLine(0)[1] = 0x3F;  // pixel 2 = 3; the low nibble is padding
  bitmap.ScanLine(1)[0] = 0x45;
  bitmap.SetTopDown(true);  // rows keep their pixels
  bitmap.SetSize(5, 3);
  EXPECT_EQ(bitmap.ScanLine(0)[1], 0x30);  // the padding did not become pixel 3
  EXPECT_EQ(bitmap.ScanLine(1)[0], 0x45);
  EXPECT_EQ(bitmap.ScanLine(2)[0], 0x00);
  EXPECT_THROW(bitmap.ScanLine(3), EInvalidGraphicOperation);
  EXPECT_THROW(bitmap.ScanLine(-1), EInvalidGraphicOperation);

  bitmap.SetHandle(0);
  EXPECT_TRUE(bitmap.Empty());
  EXPECT_EQ(bitmap.GetPixelFormat(), pf4bit);
  EXPECT_TRUE(bitmap.TopDown());
  EXPECT_EQ(bitmap.GetPalette(), palette);
  EXPECT_EQ(bitmap.PaletteColor(16), clBlack);
}

TEST(Bitmap, PixelMemoryIsBoundedBeforeAllocating) {
  TBitmap bitmap;
  bitmap.SetSize(2, 2);
  // About 12 GiB: refused at once, and the bitmap stays as it was.
  ExpectMessage<EOutOfResources>([&] { bitmap.SetSize(65500, 65500); }, "Out of system resources");
  EXPECT_EQ(bitmap.GetWidth(), 2);
  EXPECT_THROW(bitmap.SetSize(0x7FFFFFFF, 0x7FFFFFFF), EOutOfResources);
  EXPECT_THROW(bitmap.SetSize(-1, 5), EInvalidGraphicOperation);
  bitmap.SetHandle(0);
  bitmap.SetWidth(65500);  // no rows: nothing to allocate
  EXPECT_THROW(bitmap.SetHeight(65500), EOutOfResources);
  EXPECT_THROW(bitmap.SetSizeUncleared(65500, 65500), EOutOfResources);
  EXPECT_TRUE(bitmap.Empty());
}

// Released pixel memory serves the next bitmap (large blocks are kept for it on purpose, except in
// address-sanitized builds), yet nothing an earlier picture left there shows: a cleared bitmap
// reads zero throughout, an uncleared one in its row padding, which BMP files carry and which a
// writer filling every pixel never touches.
TEST(Bitmap, ReusedMemoryNeverShowsAnEarlierPicture) {
  const struct {
    TPixelFormat format;
    int dirtyWidth, dirtyHeight, width, height;
    bool cleared;
  } cases[] = {{pf1bit, 5, 7, 5, 7, false},
               {pf24bit, 5, 7, 5, 7, false},
               {pf24bit, 4000, 3000, 4000, 3000, true},   // the same size: the kept block
               {pf24bit, 4000, 3000, 3800, 3000, true},   // a little smaller: still the kept block
               {pf24bit, 4000, 3000, 4200, 3500, true}};  // larger: fresh memory
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << BitsPerPixel(c.format) << " bits, " << c.width << "x"
                                    << c.height << (c.cleared ? " cleared" : " uncleared"));
    {
      TBitmap dirty;
      dirty.SetPixelFormat(c.format);
      dirty.SetSizeUncleared(c.dirtyWidth, c.dirtyHeight);
      for (int row = 0; row < c.dirtyHeight; ++row)
        std::memset(dirty.ScanLine(row), 0xAB, static_cast<std::size_t>(dirty.RowBytes()));
    }
    TBitmap bitmap;
    bitmap.SetPixelFormat(c.format);
    c.cleared ? bitmap.SetSize(c.width, c.height) : bitmap.SetSizeUncleared(c.width, c.height);
    ASSERT_EQ(bitmap.GetHeight(), c.height);
    const std::int64_t from = c.cleared ? 0 : (c.width * BitsPerPixel(c.format) + 7) / 8;
    for (int row = 0; row < c.height; ++row) {
      std::uint8_t* line = bitmap.ScanLine(row);
      ASSERT_EQ(std::count(line + from, line + bitmap.RowBytes(), 0), bitmap.RowBytes() - from)
          << "row " << row;
      line[bitmap.RowBytes() - 1] = 1;  // the whole row lies in the block (checked under ASan)
    }
  }
  ReleaseKeptPixelBlock();
}

TEST(Bitmap, ConvertsTrueColourToTheNearestPaletteEntry) {
  TBitmap bitmap;
  bitmap.SetSize(3, 1);
  std::memcpy(bitmap.ScanLine(0), "\x01\x02\x03\xFA\xFA\xFA\x8C\x82\x78", 9);
  bitmap.SetPixelFormat(pf8bit);  // no palette yet: the halftone one
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(0)[0]), RGB(0, 0, 0));
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(0)[1]), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(0)[2]), RGB(128, 128, 128));
  bitmap.SetPixelFormat(pf1bit);  // 256 entries do not fit: black and white
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x60);
}

TEST(Bitmap, EqualityCoversPixelsAndPaletteButNotPaddingOrRowOrder) {
  TBitmap a;
  a.SetPixelFormat(pf8bit);
  a.SetPalette(GrayPalette(8));
  a.SetSize(3, 2);
  a.ScanLine(1)[2] = 5;
  a.ScanLine(1)[3] = 0xEE;  // padding

  TBitmap b;
  b.Assign(&a);
  EXPECT_NE(b.GetPalette(), a.GetPalette());  // a copy, not the same handle
  b.SetTopDown(true);
  b.ScanLine(1)[3] = 0;
  EXPECT_TRUE(b.IsEqual(&a));
  b.ScanLine(0)[0] = 1;
  EXPECT_FALSE(b.IsEqual(&a));
  b.ScanLine(0)[0] = 0;
  b.SetPalette(GrayPalette(9));
  EXPECT_FALSE(b.IsEqual(&a));
}

// The pixel bytes of a 24-bit row hold x + 7 * row (mod 256), so any change shows.
void FillPattern(TBitmap& bitmap) {
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.GetWidth() * 3; ++x) row[x] = static_cast<std::uint8_t>(x + 7 * y);
  }
}
// Reads through the const ScanLine, which leaves shared pixels shared.
bool HoldsPattern(TBitmap& bitmap) {
  const TBitmap& reader = bitmap;
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    const std::uint8_t* row = reader.ScanLine(y);
    for (int x = 0; x < bitmap.GetWidth() * 3; ++x)
      if (row[x] != static_cast<std::uint8_t>(x + 7 * y)) return false;
  }
  return true;
}

TEST(Bitmap, CopiesAreIndependentWhicheverSideIsWrittenAndHowever) {
  // What one side of a copy may do; the other side must still hold the pattern.
  const std::pair<const char*, std::function<void(TBitmap&)>> changes[] = {
      {"written", [](TBitmap& b) { b.ScanLine(b.GetHeight() - 1)[2] ^= 0xFF; }},
      {"reordered", [](TBitmap& b) { b.SetTopDown(!b.TopDown()); }},
      {"resized", [](TBitmap& b) { b.SetSize(b.GetWidth(), 2); }},
      {"reformatted", [](TBitmap& b) { b.SetPixelFormat(pf32bit); }},
      {"dropped", [](TBitmap& b) { b.SetHandle(0); }}};
  // Small blocks and large ones come from different allocators.
  for (const auto& [width, height] : {std::pair{5, 600}, std::pair{2900, 3860}}) {
    TBitmap original;
    original.SetSize(width, height);
    FillPattern(original);
    // An address handed out before the copy still writes only the original.
    std::uint8_t* const held = original.ScanLine(3);
    TBitmap first;
    first.Assign(&original);
    held[0] ^= 0xFF;
    EXPECT_TRUE(HoldsPattern(first)) << width;
    held[0] ^= 0xFF;

    for (const auto& [what, change] : changes) {
      for (const bool changeTheCopy : {false, true}) {
        SCOPED_TRACE(std::string(what) + (changeTheCopy ? " copy " : " source ") +
                     std::to_string(width));
        TBitmap source, copy;
        source.Assign(&first);
        copy.Assign(&source);
        change(changeTheCopy ? copy : source);
        EXPECT_TRUE(HoldsPattern(changeTheCopy ? source : copy));
        EXPECT_TRUE(HoldsPattern(first));
      }
    }
  }
}

TEST(Bitmap, ClipboardCarriesAPackedDibAndImportCopiesIt) {
  TBitmap source;
  source.SetPixelFormat(pf4bit);
  source.SetPalette(GrayPalette(16));
  source.SetSize(5, 2);
  source.ScanLine(0)[0] = 0xAB;
  Clipboard().Assign(&source);
  EXPECT_TRUE(Clipboard().HasFormat(CF_BITMAP));
  TBitmap target;
  Clipboard().AssignTo(&target);
  EXPECT_TRUE(target.IsEqual(&source));

  // BITMAPINFOHEADER, 16 table entries, then 2 rows of 4 bytes with row 0 last.
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;
  source.SaveToClipboardFormat(format, data, palette);
  std::size_t size = 0;
  const std::uint8_t* dib = GlobalData(data, &size);
  EXPECT_EQ(format, CF_DIB);
  ASSERT_EQ(size, 40U + 16 * 4 + 2 * 4);
  EXPECT_EQ(dib[14], 4);  // bit count
  EXPECT_EQ(dib[40 + 16 * 4 + 4], 0xAB);
  GlobalFree(data);
  DeleteObject(palette);
  Clipboard().Clear();
  EXPECT_THROW(Clipboard().AssignTo(&target), EInvalidGraphic);
}

}  // namespace
