// Decoding a picture: byte order, reuse of the bitmap, notifications and cancelling, palettes,
// and files that are broken or absurdly large.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "framework/graphics/palette.h"
#include "framework/graphics/screen.h"
#include "framework/platform/clock.h"
#include "tests/jpeg/test_support.h"

namespace {

struct Seen {
  TProgressStage stage;
  int percent;
  bool redraw;
  TRect rect;
};

class DecodeTest : public PaletteLeakCheck {
 protected:
  void TearDown() override {
    SetTickCountSource({});
    PaletteLeakCheck::TearDown();
  }

  // Loads the bytes and records notifications from then on; failAt throws at that stage once.
  void Load(TJPEGImage& picture, const Bytes& jpeg) {
    picture.LoadFromStream(*StreamOf(jpeg));
    picture.OnChange = [this](TObject*) { seen.push_back({psEnding, -1, false, {}}); };
    picture.OnProgress = [this](TObject*, TProgressStage stage, std::uint8_t percent, bool redraw,
                                const TRect& rect, const AnsiString&) {
      seen.push_back({stage, percent, redraw, rect});
      if (failure && stage == failAt) std::rethrow_exception(std::exchange(failure, nullptr));
    };
  }

  // Every clock read is 600 ms after the last, so every library callback may report.
  void UseFastClock() {
    SetTickCountSource([tick = std::uint32_t{1}]() mutable { return tick += 600; });
  }

  int CountStage(TProgressStage stage) const {
    int count = 0;
    for (const Seen& s : seen) count += s.stage == stage && s.percent >= 0;
    return count;
  }
  int EndingPercent() const {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
      if (it->stage == psEnding && it->percent >= 0) return it->percent;
    }
    return -1;
  }
  int ChangeNotifications() const {
    int count = 0;
    for (const Seen& s : seen) count += s.percent == -1;
    return count;
  }

  std::vector<Seen> seen;
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
    for (int x = 0; x < 32; ++x) {
      const std::uint8_t* pixel = bitmap.ScanLine(y) + x * 3;
      ASSERT_TRUE(pixel[0] < 8 && pixel[1] < 8 && pixel[2] > 247) << x << "," << y;
    }
  }
}

TEST_F(DecodeTest, DecodesOnceThenReturnsTheSameBitmapSilently) {
  TJPEGImage picture;
  Load(picture, MakeJpeg(30, 20));
  TBitmap* first = GetDecodedBitmap(picture);
  ASSERT_EQ(seen.size(), 3u);  // starting, ending, change (the load set the palette flag)
  EXPECT_EQ(seen[0].stage, psStarting);
  EXPECT_EQ(seen[1].stage, psEnding);
  EXPECT_EQ(seen[1].percent, 100);
  EXPECT_TRUE(seen[1].redraw);
  EXPECT_EQ(ChangeNotifications(), 1);
  EXPECT_EQ(GetDecodedBitmap(picture), first);
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(first->GetWidth(), 30);
}

TEST_F(DecodeTest, BlankPictureGivesAnEmptyBitmapWithoutNotifications) {
  TJPEGImage picture;
  picture.OnProgress = [this](TObject*, TProgressStage stage, std::uint8_t, bool, const TRect&,
                              const AnsiString&) {
    seen.push_back({stage, 0, false, {}});
  };
  TBitmap* bitmap = GetDecodedBitmap(picture);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_TRUE(bitmap->Empty());
  EXPECT_TRUE(seen.empty());
}

// Cancelling from each stage ends the decode quietly and keeps whatever was decoded.
class DecodeAbort : public DecodeTest, public ::testing::WithParamInterface<TProgressStage> {};

TEST_P(DecodeAbort, IsAbsorbedAndTheBitmapIsKept) {
  UseFastClock();
  TJPEGImage picture;
  Load(picture, MakeJpeg(64, 96));
  failAt = GetParam();
  failure = std::make_exception_ptr(EAbort("cancel"));
  TBitmap* bitmap = GetDecodedBitmap(picture);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(failure, nullptr) << "the handler was never asked";
  switch (GetParam()) {
    case psStarting:
      EXPECT_EQ(CountStage(psEnding), 0);
      EXPECT_TRUE(bitmap->Empty());
      break;
    case psRunning:
      ASSERT_EQ(CountStage(psEnding), 1);
      EXPECT_EQ(EndingPercent(), 0) << "ending reports the failure";
      EXPECT_EQ(bitmap->GetHeight(), 96);
      break;
    case psEnding:
      EXPECT_EQ(seen.back().stage, psEnding);
      EXPECT_EQ(EndingPercent(), 100);
      break;
  }
  EXPECT_EQ(ChangeNotifications(), GetParam() == psRunning ? 1 : 0);
  const std::size_t count = seen.size();
  EXPECT_EQ(GetDecodedBitmap(picture), bitmap);
  EXPECT_EQ(seen.size(), count);
}

INSTANTIATE_TEST_SUITE_P(EachStage, DecodeAbort,
                         ::testing::Values(psStarting, psRunning, psEnding));

TEST_F(DecodeTest, HandlerFailureMidDecodeReachesTheCallerOnceAndLeavesThePictureUsable) {
  UseFastClock();
  const Bytes jpeg = MakeJpeg(64, 96);
  TJPEGImage picture;
  Load(picture, jpeg);
  failAt = psRunning;
  failure = std::make_exception_ptr(std::runtime_error("handler broke"));
  EXPECT_THROW(GetDecodedBitmap(picture), std::runtime_error);
  EXPECT_EQ(seen.back().percent, -1);  // the change notification follows the ending one
  EXPECT_EQ(EndingPercent(), 0);
  TBitmap* kept = GetDecodedBitmap(picture);
  EXPECT_EQ(kept->GetWidth(), 64);

  TMemoryStream saved;
  picture.SaveToStream(saved);
  EXPECT_EQ(BytesOf(saved), jpeg);
}

TEST_F(DecodeTest, HeldPaletteOfAnEightBitPictureIsTheMapItDecodesTo) {
  LOGPALETTE logical;
  logical.palNumEntries = 16;
  for (int i = 0; i < 16; ++i) {
    logical.palPalEntry[i] = {std::uint8_t(i * 17), std::uint8_t(255 - i * 17), 128, 0};
  }
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
  EXPECT_NE(bitmap.GetPalette(), held);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(entries[i].peGreen, logical.palPalEntry[i].peGreen);
  EXPECT_EQ(picture.HeldPaletteHandle(), held);
  EXPECT_FALSE(picture.PaletteModified);
  EXPECT_EQ(ChangeNotifications(), 0);
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

TEST_F(DecodeTest, OutputSizeAtAScaleIsKnownBeforeDecoding) {
  TJPEGDefaults options;
  options.ShrinkFactor = sfEighth;
  ScopedDefaults defaults(options);
  TJPEGImage picture;
  Load(picture, MakeJpeg(100, 50));
  EXPECT_EQ(picture.GetWidth(), 13);
  EXPECT_EQ(picture.GetHeight(), 7);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(picture.DecodedBitmapOrNull(), nullptr);
}

TEST_F(DecodeTest, TruncatedDataDecodesToTheLastRow) {
  Bytes jpeg = MakeJpeg(48, 40);
  std::size_t scan = 0;
  while (!(jpeg[scan] == 0xFF && jpeg[scan + 1] == 0xDA)) ++scan;
  jpeg.resize(scan + (jpeg.size() - scan) / 2);
  TJPEGImage picture;
  Load(picture, jpeg);
  TBitmap* bitmap = nullptr;
  ASSERT_NO_THROW(bitmap = GetDecodedBitmap(picture));
  EXPECT_EQ(bitmap->GetHeight(), 40);
  EXPECT_EQ(EndingPercent(), 100);
}

// A header announcing 65500 x 65500 pixels fails before the big buffers exist: the bitmap, the
// two-pass colour quantiser's whole-image buffer, a progressive file's coefficients.
class HugeHeader : public DecodeTest,
                   public ::testing::WithParamInterface<std::tuple<const char*, TJPEGPixelFormat>> {
};

TEST_P(HugeHeader, FailsWithAClearErrorOnceAndKeepsAnEmptyBitmap) {
  const auto& [cjpegOptions, depth] = GetParam();
  Bytes jpeg = MakeJpeg(16, 16, cjpegOptions);
  bool patched = false;
  for (std::size_t i = 0; i + 8 < jpeg.size() && !patched; ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = jpeg[i + 7] = 0xFF;
      jpeg[i + 6] = jpeg[i + 8] = 0xDC;
      patched = true;
    }
  }
  ASSERT_TRUE(patched);
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
    EXPECT_EQ(std::string(error.what()).rfind("JPEG error #", 0), 0u);
  }
  EXPECT_EQ(EndingPercent(), 0);
  EXPECT_TRUE(GetDecodedBitmap(picture)->Empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, HugeHeader,
                         ::testing::Values(std::make_tuple("", bd24Bit),
                                           std::make_tuple("", bd8Bit),
                                           std::make_tuple("-progressive", bd24Bit)));

}  // namespace
