// The picture object model: sharing and equality, copying from bitmaps, sizes at a reduced scale,
// palette ownership and the clipboard.
#include <gtest/gtest.h>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/clipboard.h"
#include "framework/graphics/palette.h"
#include "framework/graphics/screen.h"
#include "tests/jpeg/test_support.h"

namespace {

// What a picture shows of its shared record is read-only all the way down: no caller (a
// handler, say) can write the bytes other pictures share.
template <class Picture>
concept WritesThroughItsReadOnlyView = requires(Picture& picture) {
  picture.Data().JpegStream->Write(nullptr, 0);
}
|| requires(Picture& picture) { picture.SharedDataRecord()->JpegStream->SetSize64(0); };
static_assert(!WritesThroughItsReadOnlyView<TJPEGImage>);

class PictureTest : public PaletteLeakCheck {};

// A bitmap is copied deeply into a record of its own; a picture's record is shared, and nothing
// else: the copy decodes the new data when needed. Sizes at a reduced scale are rounded up, and
// follow new data before any decode.
TEST_F(PictureTest, AssignCopiesABitmapAndSharesAPicturesRecordOnly) {
  const Bytes jpeg = MakeJpeg(40, 30);
  auto bitmap = PatternBitmap(7, 5);
  TJPEGImage picture;
  Load(picture, jpeg);
  picture.Assign(bitmap.get());
  bitmap->ScanLine(4)[3 * 6 + 2] = 200;
  EXPECT_EQ(picture.GetWidth(), 7);
  EXPECT_EQ(picture.Data().JpegStream, nullptr);
  ASSERT_NE(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(picture.DecodedBitmapOrNull()->ScanLine(4)[3 * 6 + 2], 10);

  ScopedDefaults defaults({.SaveQuality = 12, .ShrinkFactor = sfQuarter});
  TJPEGImage source, copy;
  Load(source, jpeg);
  Load(copy, MakeJpeg(97, 61));
  EXPECT_EQ(copy.GetWidth(), 25);
  copy.Assign(&picture);
  copy.Assign(&source);
  EXPECT_EQ(copy.SharedDataRecord(), source.SharedDataRecord());
  EXPECT_EQ(copy.GetWidth(), 10);
  EXPECT_EQ(copy.GetHeight(), 8);
  EXPECT_EQ(copy.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(copy.SaveQuality(), 12);
  // A picture assigned to itself keeps its record; new data for one leaves the other's alone.
  copy.Assign(&copy);
  source.Assign(&source);
  EXPECT_EQ(source.SharedDataRecord()->RefCount(), 2);
  EXPECT_EQ(source.GetWidth(), 10);
  Load(source, MakeJpeg(8, 8));
  EXPECT_EQ(source.GetWidth(), 2);
  EXPECT_EQ(copy.SharedDataRecord()->RefCount(), 1);
  EXPECT_EQ(BytesOf(*copy.Data().JpegStream), jpeg);
  // Separately loaded identical bytes are equal; other bytes are not.
  TJPEGImage twin;
  Load(twin, jpeg);
  EXPECT_TRUE(twin.IsEqual(&copy));
  EXPECT_FALSE(twin.IsEqual(&source));
}

TEST_F(PictureTest, HalftonePaletteOnlyFor24BitPicturesOnPalettedScreens) {
  const ScopedDefaults restoreAfterwards(JpegDefaultOptions);
  TJPEGImage onDeepScreen;
  EXPECT_EQ(onDeepScreen.GetPalette(), 0u);
  SetEmulatedScreenDepth(8);
  AdjustDefaultsToScreen();
  EXPECT_EQ(JpegDefaultOptions.BitmapDepth, bd8Bit);
  TJPEGImage eightBit;
  EXPECT_EQ(eightBit.GetPalette(), 0u);
  JpegDefaultOptions.BitmapDepth = bd24Bit;
  TJPEGImage picture;
  Load(picture, MakeJpeg(20, 10));
  const HPALETTE halftone = picture.GetPalette();
  EXPECT_EQ(GetPaletteEntries(halftone, 0, 0, nullptr), 256u);
  // Decoding drops it in favour of the bitmap's.
  TBitmap& bitmap = *GetDecodedBitmap(picture);
  EXPECT_EQ(picture.HeldPaletteHandle(), 0u);
  EXPECT_EQ(picture.GetPalette(), bitmap.GetPalette());
}

TEST_F(PictureTest, ChangePaletteOwnsOneHandleDropsADecodedBitmapAndKeepsAnOnlyOne) {
  TJPEGImage picture;
  Load(picture, MakeJpeg(8, 8));
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  const int before = GdiLiveObjectCount();
  const HPALETTE first = GrayPalette(16);
  picture.SetPalette(first);
  picture.SetPalette(first);
  picture.SetPalette(GrayPalette(4));
  EXPECT_NE(picture.HeldPaletteHandle(), first);
  EXPECT_EQ(GdiLiveObjectCount(), before + 1) << "the replaced palette was not deleted";
  EXPECT_EQ(changes, 0);
  // A decoded bitmap is dropped for a new palette, which is a change.
  GetDecodedBitmap(picture);
  picture.PaletteModified = false;
  changes = 0;
  picture.SetPalette(GrayPalette(16));
  EXPECT_EQ(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_TRUE(picture.PaletteModified);
  EXPECT_EQ(changes, 1);

  // A bitmap that is the picture's only image stays.
  picture.Assign(PatternBitmap(6, 6).get());
  picture.SetPalette(GrayPalette(8));
  ASSERT_NE(picture.DecodedBitmapOrNull(), nullptr);

  // The bitmap's own palette: the picture holds a copy, so each handle has one owner.
  auto indexed = PatternBitmap(4, 4);
  indexed->SetPalette(GrayPalette(256));
  indexed->SetPixelFormat(pf8bit);
  picture.Assign(indexed.get());
  const HPALETTE bitmapPalette = picture.GetPalette();
  picture.SetPalette(bitmapPalette);
  EXPECT_EQ(picture.GetPalette(), bitmapPalette);
  EXPECT_NE(picture.HeldPaletteHandle(), 0u);
  EXPECT_NE(picture.HeldPaletteHandle(), bitmapPalette);
}

TEST_F(PictureTest, ClipboardExportShowsTheDecodedImageAndImportReplacesTheData) {
  const int blocks = GlobalLiveBlockCount();
  TJPEGImage picture;
  Load(picture, MakeJpeg(13, 7));
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;
  picture.SaveToClipboardFormat(format, data, palette);
  TBitmap pasted;
  pasted.LoadFromClipboardFormat(format, data, palette);
  EXPECT_TRUE(pasted.IsEqual(picture.DecodedBitmapOrNull()));
  GlobalFree(data);

  PatternBitmap(5, 3)->SaveToClipboardFormat(format, data, palette);
  picture.LoadFromClipboardFormat(format, data, palette);
  GlobalFree(data);
  EXPECT_EQ(picture.Data().JpegStream, nullptr);  // a save writes what the picture shows
  ASSERT_NE(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(picture.DecodedBitmapOrNull()->ScanLine(2)[3 * 4 + 2], 6);
  EXPECT_EQ(GlobalLiveBlockCount(), blocks);
}

}  // namespace
