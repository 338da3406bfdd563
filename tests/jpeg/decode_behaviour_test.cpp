// Decoding a picture: byte order, reuse of the bitmap, notifications and cancelling, palettes,
// and headers announcing absurd sizes.
#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/graphics/palette.h"
#include "framework/graphics/screen.h"
#include "framework/platform/clock.h"
#include "tests/jpeg/test_support.h"

namespace {

class DecodeTest : public PaletteLeakCheck {
 protected:
  void TearDown() override {
    SetTickCountSource({});
    PaletteLeakCheck::TearDown();
  }

  // Loads the bytes, then logs notifications as "s0" (starting, 0 %), "r", "e100R" (ending with
  // redraw) and "c" (change); failure is thrown once by the handler of stage failAt.
  void Load(TJPEGImage& picture, const Bytes& jpeg) {
    picture.LoadFromStream(*StreamOf(jpeg));
    picture.OnChange = [this](TObject*) { log += "c "; };
    picture.OnProgress = [this](TObject*, TProgressStage stage, std::uint8_t percent, bool redraw,
                                const TRect&, const AnsiString&) {
      if (stage == psRunning) {
        if (!log.ends_with("r ")) log += "r ";
      } else {
        log += (stage == psStarting ? "s" : "e") + std::to_string(percent) + (redraw ? "R " : " ");
      }
      if (failure && stage == failAt) std::rethrow_exception(std::exchange(failure, nullptr));
    };
  }

  // Every clock read is 600 ms after the last, so that every library callback may report.
  static void UseFastClock() {
    SetTickCountSource([tick = std::uint32_t{1}]() mutable { return tick += 600; });
  }

  std::string log;
  TProgressStage failAt = psStarting;
  std::exception_ptr failure;
};

TEST_F(DecodeTest, SaturatedRedHasRedInTheThirdByte) {
  TempDir dir;
  Bytes red;
  for (int i = 0; i < 32 * 16; ++i) red.insert(red.end(), {255, 0, 0});
  WritePnm(dir.Path("red.ppm"), 32, 16, red, false);
  ASSERT_EQ(RunShell("cjpeg -outfile '" + dir.Path("red.jpg").string() + "' '" +
                     dir.Path("red.ppm").string() + "'"),
            0);
  TJPEGImage picture;
  Load(picture, ReadFileBytes(dir.Path("red.jpg")));
  TBitmap& bitmap = *GetDecodedBitmap(picture);
  ASSERT_EQ(bitmap.GetPixelFormat(), pf24bit);
  for (int y = 0; y < 16; ++y) {
    for (const std::uint8_t* pixel = bitmap.ScanLine(y); pixel < bitmap.ScanLine(y) + 96;
         pixel += 3)
      ASSERT_TRUE(pixel[0] < 8 && pixel[1] < 8 && pixel[2] > 247) << y;
  }
}

TEST_F(DecodeTest, DecodesOnceThenReturnsTheSameBitmapSilently) {
  TJPEGImage picture;
  Load(picture, MakeJpeg(30, 20));
  TBitmap* first = GetDecodedBitmap(picture);
  EXPECT_EQ(log, "s0 e100R c ");  // loading left the palette-modified flag set
  EXPECT_EQ(GetDecodedBitmap(picture), first);
  EXPECT_EQ(log, "s0 e100R c ");
  EXPECT_EQ(first->GetWidth(), 30);

  TJPEGImage blank;
  EXPECT_TRUE(GetDecodedBitmap(blank)->Empty());
}

// Cancelling from any stage ends the decode quietly and keeps whatever was decoded.
class DecodeAbort : public DecodeTest,
                    public ::testing::WithParamInterface<std::tuple<TProgressStage, const char*>> {
};

TEST_P(DecodeAbort, IsAbsorbedAndTheBitmapIsKept) {
  const auto& [stage, expectedLog] = GetParam();
  UseFastClock();
  TJPEGImage picture;
  Load(picture, MakeJpeg(64, 96));
  failAt = stage;
  failure = std::make_exception_ptr(EAbort("cancel"));
  TBitmap* bitmap = GetDecodedBitmap(picture);
  EXPECT_EQ(log, expectedLog);
  EXPECT_EQ(bitmap->GetHeight(), stage == psStarting ? 0 : 96);
  EXPECT_EQ(GetDecodedBitmap(picture), bitmap);
  EXPECT_EQ(log, expectedLog);
}

INSTANTIATE_TEST_SUITE_P(EachStage, DecodeAbort,
                         ::testing::Values(std::make_tuple(psStarting, "s0 "),
                                           std::make_tuple(psRunning, "s0 r e0R c "),
                                           std::make_tuple(psEnding, "s0 r e100R ")));

TEST_F(DecodeTest, HandlerFailureMidDecodeReachesTheCallerOnceAndLeavesThePictureUsable) {
  UseFastClock();
  const Bytes jpeg = MakeJpeg(64, 96);
  TJPEGImage picture;
  Load(picture, jpeg);
  failAt = psRunning;
  failure = std::make_exception_ptr(std::runtime_error("handler broke"));
  EXPECT_THROW(GetDecodedBitmap(picture), std::runtime_error);
  EXPECT_EQ(log, "s0 r e0R c ");
  EXPECT_EQ(GetDecodedBitmap(picture)->GetWidth(), 64);
  TMemoryStream saved;
  picture.SaveToStream(saved);
  EXPECT_EQ(BytesOf(saved), jpeg);
}

TEST_F(DecodeTest, HeldPaletteOfAnEightBitPictureIsTheMapItDecodesTo) {
  LOGPALETTE logical;
  logical.palNumEntries = 16;
  for (int i = 0; i < 16; ++i) logical.palPalEntry[i] = {std::uint8_t(i * 17), 90, 128, 0};
  TJPEGDefaults options;
  options.BitmapDepth = bd8Bit;
  ScopedDefaults defaults(options);
  TJPEGImage picture;
  const HPALETTE held = CreatePalette(&logical);
  picture.SetPalette(held);
  Load(picture, MakeJpeg(40, 30));
  picture.PaletteModified = false;
  TBitmap& bitmap = *GetDecodedBitmap(picture);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_LT(bitmap.ScanLine(y)[x], 16);
  }
  PALETTEENTRY entries[256];
  ASSERT_EQ(GetPaletteEntries(bitmap.GetPalette(), 0, 256, entries), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(entries[i].peRed, logical.palPalEntry[i].peRed);
  EXPECT_NE(bitmap.GetPalette(), held);
  EXPECT_EQ(picture.HeldPaletteHandle(), held);
  EXPECT_EQ(log, "s0 e100 ");
}

TEST_F(DecodeTest, TwentyFourBitPictureOnAPalettedScreenDropsItsHalftonePaletteWhenDecoded) {
  SetEmulatedScreenDepth(8);
  TJPEGDefaults options;
  options.BitmapDepth = bd24Bit;
  ScopedDefaults defaults(options);
  TJPEGImage picture;
  Load(picture, MakeJpeg(20, 10));
  const HPALETTE halftone = picture.GetPalette();
  EXPECT_NE(halftone, 0u);
  EXPECT_EQ(picture.GetPalette(), halftone);
  TBitmap& bitmap = *GetDecodedBitmap(picture);
  EXPECT_EQ(picture.HeldPaletteHandle(), 0u);
  EXPECT_EQ(picture.GetPalette(), bitmap.GetPalette());
}

// A header announcing 65500 x 65500 pixels fails before the big buffers exist: the bitmap, the
// two-pass colour quantiser's whole-image buffer, a progressive file's coefficients.
class HugeHeader : public DecodeTest,
                   public ::testing::WithParamInterface<std::tuple<const char*, TJPEGPixelFormat>> {
};

TEST_P(HugeHeader, FailsWithAClearErrorOnceAndKeepsAnEmptyBitmap) {
  const auto& [cjpegOptions, depth] = GetParam();
  Bytes jpeg = MakeJpeg(16, 16, cjpegOptions);
  std::size_t frame = 0;
  while (!(jpeg.at(frame) == 0xFF && (jpeg.at(frame + 1) & 0xFD) == 0xC0)) ++frame;
  jpeg.at(frame + 5) = jpeg.at(frame + 7) = 0xFF;
  jpeg.at(frame + 6) = jpeg.at(frame + 8) = 0xDC;
  TJPEGDefaults options;
  options.BitmapDepth = depth;
  ScopedDefaults defaults(options);
  TJPEGImage picture;
  Load(picture, jpeg);
  EXPECT_EQ(picture.GetWidth(), 65500);
  try {
    GetDecodedBitmap(picture);
    ADD_FAILURE() << "no error";
  } catch (const EOutOfResources&) {
  } catch (const EJPEG& error) {
    EXPECT_EQ(error.Message().rfind("JPEG error #", 0), 0u);
  }
  EXPECT_EQ(log, "s0 e0R c ");
  EXPECT_TRUE(GetDecodedBitmap(picture)->Empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, HugeHeader,
                         ::testing::Values(std::make_tuple("", bd24Bit),
                                           std::make_tuple("", bd8Bit),
                                           std::make_tuple("-progressive", bd24Bit)));

}  // namespace
