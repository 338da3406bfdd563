// The picture object model: blank pictures, options, sharing and equality, copying from and to
// bitmaps, the size setters, palette ownership and the clipboard import.
#include <gtest/gtest.h>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/clipboard.h"
#include "framework/graphics/palette.h"
#include "framework/graphics/screen.h"
#include "framework/system/exceptions.h"
#include "jpeg/jpeg.h"
#include "tests/jpeg/test_support.h"

namespace {

class PictureTest : public PaletteLeakCheck {
 protected:
  static void Load(TJPEGImage& picture, const Bytes& bytes) {
    picture.LoadFromStream(*StreamOf(bytes));
  }

  // A bitmap whose pixel (x, y) is (x, y, x + y) in B,G,R.
  static std::unique_ptr<TBitmap> PatternBitmap(int width, int height) {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = bitmap->ScanLine(y);
      for (int x = 0; x < width; ++x) {
        row[3 * x] = static_cast<std::uint8_t>(x);
        row[3 * x + 1] = static_cast<std::uint8_t>(y);
        row[3 * x + 2] = static_cast<std::uint8_t>(x + y);
      }
    }
    return bitmap;
  }

  static HPALETTE GrayPalette(int entries) {
    LOGPALETTE log;
    log.palNumEntries = static_cast<std::uint16_t>(entries);
    for (int i = 0; i < entries; ++i) {
      const auto level = static_cast<std::uint8_t>(i * 255 / (entries - 1));
      log.palPalEntry[i] = {level, level, level, 0};
    }
    return CreatePalette(&log);
  }
};

TEST_F(PictureTest, NewPictureIsBlankAndEqualsOnlyItself) {
  TJPEGImage picture;
  TJPEGImage other;
  TBitmap bitmap;
  EXPECT_TRUE(picture.Empty());
  EXPECT_EQ(picture.GetWidth(), 0);
  EXPECT_EQ(picture.GetHeight(), 0);
  EXPECT_EQ(picture.Data().JpegStream, nullptr);
  EXPECT_EQ(picture.SharedDataRecord()->RefCount(), 1);
  EXPECT_TRUE(picture.IsEqual(&picture));
  EXPECT_FALSE(picture.IsEqual(&other));
  EXPECT_FALSE(picture.IsEqual(&bitmap));
}

TEST_F(PictureTest, OptionsComeFromTheDefaultsAtConstruction) {
  TJPEGDefaults options;
  options.SaveQuality = 33;
  options.GrayOutput = true;
  options.DecodeSpeed = dsBestSpeed;
  options.BitmapDepth = bd8Bit;
  options.ShowWhileLoading = true;
  options.SaveProgressive = true;
  options.ShrinkFactor = sfQuarter;
  options.BlockSmoothing = false;
  std::unique_ptr<TJPEGImage> picture;
  {
    ScopedDefaults defaults(options);
    picture = std::make_unique<TJPEGImage>();
  }
  EXPECT_EQ(picture->SaveQuality(), 33);
  EXPECT_TRUE(picture->GrayOutput());
  EXPECT_EQ(picture->DecodeSpeed(), dsBestSpeed);
  EXPECT_EQ(picture->BitmapDepth(), bd8Bit);
  EXPECT_TRUE(picture->ShowWhileLoading());
  EXPECT_TRUE(picture->SaveProgressive());
  EXPECT_EQ(picture->ShrinkFactor(), sfQuarter);
  EXPECT_FALSE(picture->BlockSmoothing());
}

TEST_F(PictureTest, SizeSettersRefuseAndChangeNothing) {
  TJPEGImage picture;
  Load(picture, MakeJpeg(24, 16));
  for (int value : {0, 1, 24, -5}) {
    for (bool width : {true, false}) {
      try {
        width ? picture.SetWidth(value) : picture.SetHeight(value);
        FAIL() << "no exception";
      } catch (const EInvalidGraphicOperation& error) {
        EXPECT_EQ(error.Message(), "Cannot change the size of a JPEG image");
      }
    }
  }
  EXPECT_EQ(picture.GetWidth(), 24);
  EXPECT_EQ(picture.GetHeight(), 16);
}

TEST_F(PictureTest, AssignFromBitmapHoldsADeepCopyOnly) {
  auto bitmap = PatternBitmap(7, 5);
  TJPEGImage picture;
  Load(picture, MakeJpeg(24, 16));
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  picture.Assign(bitmap.get());
  bitmap->ScanLine(0)[0] = 200;

  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(picture.Empty());
  EXPECT_EQ(picture.GetWidth(), 7);
  EXPECT_EQ(picture.GetHeight(), 5);
  EXPECT_EQ(picture.Data().JpegStream, nullptr);
  TBitmap* held = picture.DecodedBitmapOrNull();
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->ScanLine(0)[0], 0);
  EXPECT_EQ(held->ScanLine(4)[3 * 6 + 2], 10);
}

TEST_F(PictureTest, AssignFromPictureSharesTheDataAndKeepsOwnOptions) {
  const Bytes jpeg = MakeJpeg(40, 30);
  TJPEGImage source;
  Load(source, jpeg);
  TJPEGDefaults options;
  options.SaveQuality = 12;
  options.ShrinkFactor = sfHalf;
  ScopedDefaults defaults(options);
  TJPEGImage copy;
  int changes = 0;
  copy.OnChange = [&](TObject*) { ++changes; };
  copy.Assign(&source);

  EXPECT_EQ(changes, 0);
  EXPECT_EQ(copy.SharedDataRecord(), source.SharedDataRecord());
  EXPECT_EQ(source.SharedDataRecord()->RefCount(), 2);
  EXPECT_TRUE(copy.IsEqual(&source));
  EXPECT_TRUE(source.IsEqual(&copy));
  EXPECT_EQ(copy.SaveQuality(), 12);
  EXPECT_EQ(copy.ShrinkFactor(), sfHalf);

  // New data for one picture leaves the other's record as it was.
  source.LoadFromStream(*StreamOf(MakeJpeg(8, 8)));
  EXPECT_EQ(copy.SharedDataRecord()->RefCount(), 1);
  EXPECT_EQ(BytesOf(*copy.Data().JpegStream), jpeg);
  EXPECT_EQ(copy.Data().ImageWidth, 40);
}

TEST_F(PictureTest, AssignToItselfChangesNothing) {
  const Bytes jpeg = MakeJpeg(20, 10);
  TJPEGImage picture;
  Load(picture, jpeg);
  const TJPEGData* record = picture.SharedDataRecord();
  picture.Assign(&picture);
  EXPECT_EQ(picture.SharedDataRecord(), record);
  EXPECT_EQ(record->RefCount(), 1);
  EXPECT_EQ(BytesOf(*picture.Data().JpegStream), jpeg);

  auto bitmap = PatternBitmap(3, 3);
  TJPEGImage bitmapOnly;
  bitmapOnly.Assign(bitmap.get());
  bitmapOnly.Assign(&bitmapOnly);
  ASSERT_NE(bitmapOnly.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(bitmapOnly.GetWidth(), 3);
}

TEST_F(PictureTest, TakingOverDataReplacesOrCopiesTheBitmap) {
  auto bitmap = PatternBitmap(9, 4);
  TJPEGImage withBitmap;
  withBitmap.Assign(bitmap.get());
  TJPEGImage loaded;
  Load(loaded, MakeJpeg(33, 21));

  // The source has no bitmap: the receiver drops its own and reports the new data's size.
  TJPEGImage receiver;
  receiver.Assign(bitmap.get());
  receiver.Assign(&loaded);
  EXPECT_EQ(receiver.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(receiver.GetWidth(), 33);
  EXPECT_EQ(receiver.GetHeight(), 21);

  // The source has one: the receiver gets its own copy of it.
  receiver.Assign(&withBitmap);
  ASSERT_NE(receiver.DecodedBitmapOrNull(), nullptr);
  EXPECT_NE(receiver.DecodedBitmapOrNull(), withBitmap.DecodedBitmapOrNull());
  EXPECT_EQ(receiver.GetWidth(), 9);
  EXPECT_TRUE(receiver.IsEqual(&withBitmap));
}

TEST_F(PictureTest, EqualityFollowsBytesOrTheSharedRecord) {
  const Bytes jpeg = MakeJpeg(16, 16);
  TJPEGImage first;
  TJPEGImage second;
  TJPEGImage different;
  Load(first, jpeg);
  Load(second, jpeg);
  Load(different, MakeJpeg(16, 16, "-quality 20"));
  EXPECT_NE(first.SharedDataRecord(), second.SharedDataRecord());
  EXPECT_TRUE(first.IsEqual(&second));
  EXPECT_FALSE(first.IsEqual(&different));

  auto bitmap = PatternBitmap(4, 4);
  TJPEGImage ownBitmapA;
  TJPEGImage ownBitmapB;
  ownBitmapA.Assign(bitmap.get());
  ownBitmapB.Assign(bitmap.get());
  EXPECT_FALSE(ownBitmapA.IsEqual(&ownBitmapB));
  EXPECT_FALSE(ownBitmapA.IsEqual(&first));
  EXPECT_FALSE(first.IsEqual(bitmap.get()));
}

TEST_F(PictureTest, HalftonePaletteOnlyFor24BitPicturesOnPalettedScreens) {
  TJPEGImage deep;
  EXPECT_EQ(deep.GetPalette(), 0u);
  EXPECT_EQ(deep.HeldPaletteHandle(), 0u);

  SetEmulatedScreenDepth(8);
  TJPEGImage onPalettedScreen;
  const int before = GdiLiveObjectCount();
  const HPALETTE halftone = onPalettedScreen.GetPalette();
  ASSERT_NE(halftone, 0u);
  EXPECT_EQ(GetPaletteEntries(halftone, 0, 0, nullptr), 256u);
  EXPECT_EQ(onPalettedScreen.GetPalette(), halftone);
  EXPECT_EQ(GdiLiveObjectCount(), before + 1);

  TJPEGDefaults options;
  options.BitmapDepth = bd8Bit;
  ScopedDefaults defaults(options);
  TJPEGImage eightBit;
  EXPECT_EQ(eightBit.GetPalette(), 0u);
}

TEST_F(PictureTest, ChangePaletteTakesOwnershipWithoutABitmap) {
  TJPEGImage picture;
  Load(picture, MakeJpeg(8, 8));
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  const int before = GdiLiveObjectCount();
  const HPALETTE first = GrayPalette(16);
  picture.SetPalette(first);
  picture.SetPalette(first);  // the held handle again: nothing happens
  EXPECT_EQ(picture.HeldPaletteHandle(), first);
  EXPECT_EQ(picture.GetPalette(), first);
  const HPALETTE second = GrayPalette(4);
  picture.SetPalette(second);
  EXPECT_EQ(picture.HeldPaletteHandle(), second);
  EXPECT_EQ(GdiLiveObjectCount(), before + 1) << "the replaced palette was not deleted";
  EXPECT_EQ(changes, 0);
}

TEST_F(PictureTest, ChangePaletteKeepsABitmapThatIsTheOnlyImage) {
  auto bitmap = PatternBitmap(6, 6);
  TJPEGImage picture;
  picture.Assign(bitmap.get());
  picture.SetPalette(GrayPalette(8));
  ASSERT_NE(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(picture.GetWidth(), 6);
  EXPECT_FALSE(picture.Empty());
}

TEST_F(PictureTest, ChangePaletteToTheBitmapsOwnHoldsACopy) {
  auto bitmap = PatternBitmap(4, 4);
  bitmap->SetPalette(GrayPalette(256));
  bitmap->SetPixelFormat(pf8bit);
  TJPEGImage picture;
  picture.Assign(bitmap.get());
  const HPALETTE bitmapPalette = picture.GetPalette();
  ASSERT_NE(bitmapPalette, 0u);
  picture.SetPalette(bitmapPalette);
  ASSERT_NE(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(picture.GetPalette(), bitmapPalette);
  EXPECT_NE(picture.HeldPaletteHandle(), 0u);
  EXPECT_NE(picture.HeldPaletteHandle(), bitmapPalette);
  // The fixture's count shows whether both handles are deleted exactly once.
}

TEST_F(PictureTest, ClipboardImportLeavesOnlyTheImportedBitmap) {
  const int blocks = GlobalLiveBlockCount();
  auto bitmap = PatternBitmap(5, 3);
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;
  bitmap->SaveToClipboardFormat(format, data, palette);

  for (bool loadedFirst : {true, false}) {
    TJPEGImage picture;
    if (loadedFirst) Load(picture, MakeJpeg(30, 20));
    picture.LoadFromClipboardFormat(format, data, palette);
    EXPECT_EQ(picture.Data().JpegStream, nullptr);
    ASSERT_NE(picture.DecodedBitmapOrNull(), nullptr);
    EXPECT_EQ(picture.GetWidth(), 5);
    EXPECT_EQ(picture.GetHeight(), 3);
    EXPECT_EQ(picture.DecodedBitmapOrNull()->ScanLine(2)[3 * 4 + 2], 6);
  }
  GlobalFree(data);
  if (palette != 0) DeleteObject(palette);
  EXPECT_EQ(GlobalLiveBlockCount(), blocks);
}

}  // namespace

// Behaviour that needs the picture's decoded bitmap.
class DecodedPictureTest : public PictureTest {};

TEST_F(DecodedPictureTest, NewPaletteDropsTheDecodedBitmapAndNotifies) {
  TJPEGImage picture;
  Load(picture, MakeJpeg(20, 12));
  TBitmap* first = GetDecodedBitmap(picture);
  ASSERT_NE(first, nullptr);
  picture.PaletteModified = false;
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  picture.SetPalette(GrayPalette(16));
  EXPECT_EQ(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_TRUE(picture.PaletteModified);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(picture.GetWidth(), 20);
  ASSERT_NE(GetDecodedBitmap(picture), nullptr);
  EXPECT_EQ(picture.DecodedBitmapOrNull()->GetWidth(), 20);
}

TEST_F(DecodedPictureTest, CopiesToBitmapsAndTheClipboardShowTheDecodedImage) {
  TJPEGImage picture;
  Load(picture, MakeJpeg(13, 7));
  TBitmap copy;
  copy.Assign(&picture);
  TBitmap* decoded = picture.DecodedBitmapOrNull();
  ASSERT_NE(decoded, nullptr);
  EXPECT_TRUE(copy.IsEqual(decoded));

  const int blocks = GlobalLiveBlockCount();
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;
  picture.SaveToClipboardFormat(format, data, palette);
  TBitmap pasted;
  pasted.LoadFromClipboardFormat(format, data, palette);
  EXPECT_EQ(pasted.GetWidth(), 13);
  EXPECT_EQ(pasted.GetHeight(), 7);
  for (int y = 0; y < 7; ++y) {
    EXPECT_EQ(Bytes(pasted.ScanLine(y), pasted.ScanLine(y) + 39),
              Bytes(decoded->ScanLine(y), decoded->ScanLine(y) + 39));
  }
  GlobalFree(data);
  if (palette != 0) DeleteObject(palette);
  EXPECT_EQ(GlobalLiveBlockCount(), blocks);
}

TEST_F(DecodedPictureTest, ReducedSizesFollowTheSharedDataBeforeAnyDecode) {
  // libjpeg rounds scaled sizes up.
  const auto scaled = [](int size, int denominator) {
    return (size + denominator - 1) / denominator;
  };
  const Bytes large = MakeJpeg(97, 61);
  const Bytes small = MakeJpeg(30, 9);
  for (const auto& [factor, denominator] : {std::pair{sfHalf, 2}, {sfQuarter, 4}, {sfEighth, 8}}) {
    SCOPED_TRACE(denominator);
    TJPEGDefaults options;
    options.ShrinkFactor = factor;
    ScopedDefaults defaults(options);
    TJPEGImage picture;
    TJPEGImage other;
    Load(picture, large);
    Load(other, small);
    EXPECT_EQ(picture.GetWidth(), scaled(97, denominator));
    EXPECT_EQ(picture.GetHeight(), scaled(61, denominator));
    picture.Assign(&other);
    EXPECT_EQ(picture.GetWidth(), scaled(30, denominator));
    EXPECT_EQ(picture.GetHeight(), scaled(9, denominator));
    Load(picture, large);
    EXPECT_EQ(picture.GetWidth(), scaled(97, denominator));
    EXPECT_EQ(picture.DecodedBitmapOrNull(), nullptr);
  }
}
