#include "framework/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "framework/graphics/clipboard.h"
#include "framework/system/exceptions.h"
#include "tests/framework/bitmap_helpers.h"

namespace {

TEST(Bitmap, RowsArePaddedAndBottomUpByDefault) {
  TBitmap bitmap;
  bitmap.SetSize(5, 3);
  EXPECT_EQ(bitmap.GetPixelFormat(), pf24bit);
  EXPECT_EQ(bitmap.RowBytes(), 16);  // 15 bytes of pixels padded to 16
  EXPECT_EQ(bitmap.ScanLine(1) - bitmap.ScanLine(0), -16);
  bitmap.SetPixelFormat(pf1bit);
  EXPECT_EQ(bitmap.RowBytes(), 4);
  bitmap.SetSize(33, 3);
  EXPECT_EQ(bitmap.RowBytes(), 8);
  bitmap.SetPixelFormat(pf4bit);
  EXPECT_EQ(bitmap.RowBytes(), 20);  // 17 bytes -> 20

  EXPECT_THROW(bitmap.ScanLine(3), EInvalidGraphicOperation);
  EXPECT_THROW(bitmap.ScanLine(-1), EInvalidGraphicOperation);
}

TEST(Bitmap, SetTopDownKeepsTheImage) {
  TBitmap bitmap;
  bitmap.SetSize(2, 3);
  for (int row = 0; row < 3; ++row) bitmap.ScanLine(row)[0] = static_cast<std::uint8_t>(row + 1);
  bitmap.SetTopDown(true);
  EXPECT_GT(bitmap.ScanLine(1) - bitmap.ScanLine(0), 0);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(bitmap.ScanLine(row)[0], row + 1);
}

TEST(Bitmap, SetSizeKeepsOverlappingPixelsAndZeroesNewOnes) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf4bit);
  bitmap.SetSize(3, 2);
  bitmap.ScanLine(0)[0] = 0x12;
  bitmap.ScanLine(0)[1] = 0x3F;  // pixel 2 = 3, the low nibble is padding
  bitmap.ScanLine(1)[0] = 0x45;
  bitmap.SetSize(5, 3);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x12);
  EXPECT_EQ(bitmap.ScanLine(0)[1], 0x30);  // the padding nibble did not become pixel 3
  EXPECT_EQ(bitmap.ScanLine(0)[2], 0x00);
  EXPECT_EQ(bitmap.ScanLine(1)[0], 0x45);
  EXPECT_EQ(bitmap.ScanLine(2)[0], 0x00);
  bitmap.SetSize(1, 1);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x10);
}

TEST(Bitmap, SetHandleZeroClearsButKeepsFormatOrderAndPalette) {
  const int before = GdiLiveObjectCount();
  {
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf8bit);
    bitmap.SetTopDown(true);
    bitmap.SetPalette(GrayPalette(4));
    const HPALETTE palette = bitmap.GetPalette();
    bitmap.SetSize(4, 4);
    bitmap.SetHandle(0);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.GetWidth(), 0);
    EXPECT_EQ(bitmap.GetPixelFormat(), pf8bit);
    EXPECT_TRUE(bitmap.TopDown());
    EXPECT_EQ(bitmap.GetPalette(), palette);
    EXPECT_EQ(bitmap.PaletteColor(3), RGB(3, 3, 3));
    EXPECT_EQ(bitmap.PaletteColor(4), clBlack);
  }
  EXPECT_EQ(GdiLiveObjectCount(), before);
}

TEST(Bitmap, PixelMemoryIsBoundedBeforeAllocating) {
  TBitmap bitmap;
  bitmap.SetSize(2, 2);
  // 65500 x 65500 x 3 bytes is about 12 GiB: refused at once, and the bitmap is unchanged.
  try {
    bitmap.SetSize(65500, 65500);
    FAIL() << "oversized bitmap accepted";
  } catch (const EOutOfResources& error) {
    EXPECT_EQ(error.Message(), "Out of system resources");
  }
  EXPECT_EQ(bitmap.GetWidth(), 2);
  EXPECT_EQ(bitmap.GetHeight(), 2);
  EXPECT_THROW(bitmap.SetSize(0x7FFFFFFF, 0x7FFFFFFF), EOutOfResources);
  EXPECT_THROW(bitmap.SetSize(-1, 5), EInvalidGraphicOperation);
  // A size with no rows allocates nothing, whatever the width; the rows bring the bound back.
  bitmap.SetHandle(0);
  bitmap.SetWidth(65500);
  EXPECT_EQ(bitmap.GetWidth(), 65500);
  EXPECT_THROW(bitmap.SetHeight(65500), EOutOfResources);
}

TEST(Bitmap, ConvertsIndexedTo24BitExactly) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  LOGPALETTE log;
  log.palNumEntries = 3;
  log.palPalEntry[0] = {10, 20, 30, 0};
  log.palPalEntry[1] = {200, 100, 50, 0};
  log.palPalEntry[2] = {1, 2, 3, 0};
  bitmap.SetPalette(CreatePalette(&log));
  bitmap.SetSize(3, 2);
  bitmap.ScanLine(0)[0] = 1;
  bitmap.ScanLine(0)[1] = 2;
  bitmap.ScanLine(1)[2] = 7;  // beyond the palette: black
  bitmap.SetPixelFormat(pf24bit);
  EXPECT_EQ(PixelAt(bitmap, 0, 0), RGB(200, 100, 50));
  EXPECT_EQ(PixelAt(bitmap, 1, 0), RGB(1, 2, 3));
  EXPECT_EQ(PixelAt(bitmap, 2, 0), RGB(10, 20, 30));
  EXPECT_EQ(PixelAt(bitmap, 2, 1), clBlack);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 50);  // blue first
}

TEST(Bitmap, Converts32To24AndBackKeepingColours) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(3, 1);
  std::uint8_t* row = bitmap.ScanLine(0);
  const std::uint8_t bgrx[12] = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99};
  std::memcpy(row, bgrx, 12);
  bitmap.SetPixelFormat(pf24bit);
  const std::uint8_t bgr[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(std::memcmp(bitmap.ScanLine(0), bgr, 9), 0);
  bitmap.SetPixelFormat(pf32bit);
  EXPECT_EQ(PixelAt(bitmap, 2, 0), RGB(9, 8, 7));
}

TEST(Bitmap, ConvertsToIndexedByNearestEntry) {
  TBitmap bitmap;
  bitmap.SetSize(3, 1);
  SetPixel(bitmap, 0, 0, RGB(250, 250, 250));
  SetPixel(bitmap, 1, 0, RGB(10, 0, 0));
  SetPixel(bitmap, 2, 0, RGB(140, 130, 120));
  const int before = GdiLiveObjectCount();
  bitmap.SetPixelFormat(pf8bit);  // no palette yet: the halftone one
  EXPECT_EQ(GdiLiveObjectCount(), before + 1);
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(0)[0]), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(0)[1]), RGB(0, 0, 0));
  EXPECT_EQ(bitmap.PaletteColor(bitmap.ScanLine(0)[2]), RGB(128, 128, 128));
  bitmap.SetPixelFormat(pf1bit);  // a 256-entry palette does not fit: black and white
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x80 | 0x00 | 0x20);
  EXPECT_EQ(GdiLiveObjectCount(), before + 1);
}

TEST(Bitmap, EqualityAndAssignmentCoverPixelsFormatAndPalette) {
  const int before = GdiLiveObjectCount();
  {
    TBitmap a;
    a.SetPixelFormat(pf8bit);
    a.SetPalette(GrayPalette(8));
    a.SetSize(3, 2);
    a.ScanLine(1)[2] = 5;
    a.ScanLine(1)[3] = 0xEE;  // padding does not count

    TBitmap b;
    b.Assign(&a);
    EXPECT_NE(b.GetPalette(), a.GetPalette());  // a copy, not the same handle
    EXPECT_TRUE(b.IsEqual(&a));
    b.SetTopDown(true);
    EXPECT_TRUE(b.IsEqual(&a));  // row order is storage, not image
    b.ScanLine(1)[3] = 0;
    EXPECT_TRUE(b.IsEqual(&a));
    b.ScanLine(0)[0] = 1;
    EXPECT_FALSE(b.IsEqual(&a));
    b.ScanLine(0)[0] = 0;
    b.SetPalette(GrayPalette(9));
    EXPECT_FALSE(b.IsEqual(&a));
  }
  EXPECT_EQ(GdiLiveObjectCount(), before);
}

TEST(Bitmap, ClipboardExportsAPackedDibAndImportsACopy) {
  const int palettes = GdiLiveObjectCount();
  const int blocks = GlobalLiveBlockCount();
  {
    TBitmap source;
    source.SetPixelFormat(pf4bit);
    source.SetPalette(GrayPalette(16));
    source.SetSize(5, 2);
    source.ScanLine(0)[0] = 0xAB;
    source.ScanLine(1)[2] = 0xC0;

    Clipboard().Assign(&source);
    EXPECT_TRUE(Clipboard().HasFormat(CF_DIB));
    EXPECT_TRUE(Clipboard().HasFormat(CF_BITMAP));
    EXPECT_TRUE(Clipboard().HasFormat(CF_PALETTE));

    TBitmap target;
    Clipboard().AssignTo(&target);
    EXPECT_TRUE(target.IsEqual(&source));

    // The packed DIB: a BITMAPINFOHEADER, 16 table entries, 2 rows of 4 bytes.
    std::uint16_t format = 0;
    THandle data = 0;
    HPALETTE palette = 0;
    source.SaveToClipboardFormat(format, data, palette);
    std::size_t size = 0;
    const std::uint8_t* dib = GlobalData(data, &size);
    EXPECT_EQ(format, CF_DIB);
    EXPECT_EQ(size, 40U + 16 * 4 + 2 * 4);
    EXPECT_EQ(dib[0], 40);
    EXPECT_EQ(dib[14], 4);                  // bit count
    EXPECT_EQ(dib[40 + 16 * 4 + 4], 0xAB);  // row 0 is stored last (bottom-up)
    GlobalFree(data);
    DeleteObject(palette);
    Clipboard().Clear();
    EXPECT_THROW(Clipboard().AssignTo(&target), EInvalidGraphic);
  }
  EXPECT_EQ(GdiLiveObjectCount(), palettes);
  EXPECT_EQ(GlobalLiveBlockCount(), blocks);
}

}  // namespace
