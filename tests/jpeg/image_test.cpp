// The picture object model: blank pictures, sharing and equality, copying from and to bitmaps,
// the size setters, palette ownership, the clipboard and sizes at a reduced scale.
#include <gtest/gtest.h>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/clipboard.h"
#include "framework/graphics/palette.h"
#include "framework/graphics/screen.h"
#include "tests/jpeg/test_support.h"

namespace {

class PictureTest : public PaletteLeakCheck {
 protected:
  void CountChanges(TJPEGImage& picture) {
    picture.OnChange = [this](TObject*) { ++changes; };
  }
  int changes = 0;
};

TEST_F(PictureTest, BlankPicturesAndTheSizeSetters) {
  TJPEGImage picture;
  TJPEGImage other;
  EXPECT_TRUE(picture.Empty());
  EXPECT_TRUE(picture.IsEqual(&picture));
  EXPECT_FALSE(picture.IsEqual(&other));

  Load(picture, MakeJpeg(24, 16));
  for (int value : {0, 24, -5}) {
    for (auto setter : {&TJPEGImage::SetWidth, &TJPEGImage::SetHeight}) {
      ExpectMessage<EInvalidGraphicOperation>([&] { (picture.*setter)(value); },
                                              "Cannot change the size of a JPEG image");
    }
  }
  EXPECT_EQ(picture.GetWidth(), 24);
  EXPECT_EQ(picture.GetHeight(), 16);
}

TEST_F(PictureTest, AssignFromBitmapHoldsADeepCopyOnly) {
  auto bitmap = PatternBitmap(7, 5);
  TJPEGImage picture;
  Load(picture, MakeJpeg(24, 16));
  CountChanges(picture);
  picture.Assign(bitmap.get());
  bitmap->ScanLine(4)[3 * 6 + 2] = 200;

  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(picture.Empty());
  EXPECT_EQ(picture.GetWidth(), 7);
  EXPECT_EQ(picture.GetHeight(), 5);
  EXPECT_EQ(picture.Data().JpegStream, nullptr);
  ASSERT_NE(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(picture.DecodedBitmapOrNull()->ScanLine(4)[3 * 6 + 2], 10);
  TJPEGImage sameBitmap;
  sameBitmap.Assign(bitmap.get());
  EXPECT_FALSE(picture.IsEqual(&sameBitmap));  // each holds a record of its own
  EXPECT_FALSE(picture.IsEqual(bitmap.get()));
}

TEST_F(PictureTest, AssignFromPictureSharesTheRecordAndNothingElse) {
  const Bytes jpeg = MakeJpeg(40, 30);
  TJPEGImage source;
  Load(source, jpeg);
  ScopedDefaults defaults({.SaveQuality = 12});
  TJPEGImage copy;
  copy.Assign(PatternBitmap(3, 3).get());
  copy.Assign(&source);
  EXPECT_EQ(copy.SharedDataRecord(), source.SharedDataRecord());
  EXPECT_EQ(copy.DecodedBitmapOrNull(), nullptr);  // decodes the new data when needed
  EXPECT_EQ(copy.GetWidth(), 40);
  EXPECT_EQ(copy.SaveQuality(), 12);

  // A picture assigned to itself keeps its record; new data for one leaves the other's alone.
  copy.Assign(&copy);
  source.Assign(&source);
  EXPECT_EQ(source.SharedDataRecord()->RefCount(), 2);
  Load(source, MakeJpeg(8, 8));
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
  EXPECT_EQ(picture.GetPalette(), halftone);
  // Decoding drops it in favour of the bitmap's.
  TBitmap& bitmap = *GetDecodedBitmap(picture);
  EXPECT_EQ(picture.HeldPaletteHandle(), 0u);
  EXPECT_EQ(picture.GetPalette(), bitmap.GetPalette());
  SetEmulatedScreenDepth(0);
  AdjustDefaultsToScreen();
  EXPECT_EQ(JpegDefaultOptions.BitmapDepth, bd24Bit);
}

TEST_F(PictureTest, ChangePaletteOwnsOneHandleDropsADecodedBitmapAndKeepsAnOnlyOne) {
  TJPEGImage picture;
  Load(picture, MakeJpeg(8, 8));
  CountChanges(picture);
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
  EXPECT_EQ(GetDecodedBitmap(picture)->GetWidth(), 8);

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
  const auto release = [&] {
    GlobalFree(data);
    if (palette != 0) DeleteObject(palette);
    palette = 0;
  };
  picture.SaveToClipboardFormat(format, data, palette);
  TBitmap pasted;
  pasted.LoadFromClipboardFormat(format, data, palette);
  EXPECT_TRUE(pasted.IsEqual(picture.DecodedBitmapOrNull()));
  TBitmap copy;
  copy.Assign(&picture);
  EXPECT_TRUE(copy.IsEqual(&pasted));
  release();

  PatternBitmap(5, 3)->SaveToClipboardFormat(format, data, palette);
  TJPEGImage blank;
  for (TJPEGImage* target : {&picture, &blank}) {
    target->LoadFromClipboardFormat(format, data, palette);
    EXPECT_EQ(target->Data().JpegStream, nullptr);  // a save writes what the picture shows
    ASSERT_NE(target->DecodedBitmapOrNull(), nullptr);
    EXPECT_EQ(target->GetWidth(), 5);
    EXPECT_EQ(target->DecodedBitmapOrNull()->ScanLine(2)[3 * 4 + 2], 6);
  }
  release();
  EXPECT_EQ(GlobalLiveBlockCount(), blocks);
}

TEST_F(PictureTest, ReducedSizesFollowTheSharedDataBeforeAnyDecode) {
  const Bytes large = MakeJpeg(97, 61);
  const Bytes small = MakeJpeg(30, 9);
  for (const TJPEGScale factor : {sfHalf, sfQuarter, sfEighth}) {
    const int denominator = 1 << factor;
    const auto expectSize = [&](TJPEGImage& picture, int width, int height) {
      EXPECT_EQ(picture.GetWidth(), (width + denominator - 1) / denominator);  // rounded up
      EXPECT_EQ(picture.GetHeight(), (height + denominator - 1) / denominator);
    };
    SCOPED_TRACE(denominator);
    ScopedDefaults defaults({.ShrinkFactor = factor});
    TJPEGImage picture;
    TJPEGImage other;
    Load(picture, large);
    Load(other, small);
    expectSize(picture, 97, 61);
    picture.Assign(&other);
    expectSize(picture, 30, 9);
    Load(picture, large);
    expectSize(picture, 97, 61);
    EXPECT_EQ(picture.DecodedBitmapOrNull(), nullptr);
  }
}

}  // namespace
