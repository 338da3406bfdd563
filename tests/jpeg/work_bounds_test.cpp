// Hostile files: huge announced sizes and endless scan sequences are refused before they cost
// memory or time, while the header still reads.
#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>
#include <string>

#include "framework/platform/clock.h"
#include "tests/jpeg/test_support.h"
#include "tests/support/hostile_jpeg.h"
#include "tests/support/jpeg_files.h"

namespace {

// Comment segments of `bytes` bytes in all inserted after the start of image.
Bytes Padded(const Bytes& jpeg, std::size_t bytes) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  while (bytes > 0) {
    const std::size_t length = std::min<std::size_t>(bytes + 2, 65535);
    out.insert(out.end(), {0xFF, 0xFE, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length)});
    out.insert(out.end(), length - 2, 0);
    bytes -= std::min(bytes, length - 2);
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

void ExpectDecodeFails(const Bytes& jpeg, const TJPEGDefaults& options, int code) {
  ScopedDefaults scoped(options);
  TJPEGImage picture;
  Load(picture, jpeg);
  ExpectMessage<EJPEG>([&] { GetDecodedBitmap(picture); }, JpegErrorText(code));
}

// Whether rows at the top, middle and bottom show one middle gray (8-bit output maps it to 127).
bool ShowsMiddleGray(TBitmap& bitmap) {
  for (const int row : {0, bitmap.GetHeight() / 2, bitmap.GetHeight() - 1}) {
    const std::uint8_t* pixels = bitmap.ScanLine(row);
    for (int x = 0; x < bitmap.GetWidth(); ++x) {
      const TColor colour = bitmap.GetPixelFormat() == pf8bit
                                ? bitmap.PaletteColor(pixels[x])
                                : RGB(pixels[3 * x + 2], pixels[3 * x + 1], pixels[3 * x]);
      if (colour != RGB(128, 128, 128) && colour != RGB(127, 127, 127)) return false;
    }
  }
  return true;
}

// Pictures up to 2^28 pixels decode however few bytes hold them: a flat page or product photo
// holds two bits per block or less, so the middle gray (every coefficient 0) stands in for white.
// Larger ones need a byte per 128 pixels (comment segments pad a file) and a bitmap that fits in
// 1 GiB; the size reads either way. A 65500 x 65500 header fails before any whole-image buffer,
// which would meet a 1 GiB cap with another error.
TEST(WorkBounds, LargePicturesDecodeWithinTheFileAndMemoryBounds) {
  const TJPEGDefaults plain, eighth{.ShrinkFactor = sfEighth}, eightBit{.BitmapDepth = bd8Bit},
      shown{.ShowWhileLoading = true};
  const auto flat = [](int width, int height, TSampling sampling, bool progressive) {
    HostileJpeg recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.sampling = sampling;
    recipe.progressive = progressive;
    return WriteHostileJpeg(recipe);
  };
  const struct {
    const char* name;
    Bytes jpeg;
    int width, height;
    const TJPEGDefaults& options;
    int failure;  // 0: decodes
  } cases[] = {
      {"blank A3 page at 600 dpi", flat(7016, 9921, TSampling::Gray, false), 7016, 9921, plain, 0},
      {"flat 12000x9000 photo", flat(12000, 9000, TSampling::Colour420, false), 12000, 9000, plain,
       0},
      {"flat 12000x9000 progressive photo", flat(12000, 9000, TSampling::Colour420, true), 12000,
       9000, plain, 0},
      {"1/8 of a 20000x14000 panorama",
       Padded(WithFrameSize(MakeJpeg(16, 16), 20000, 14000), 20000u * 14000 / 128), 20000, 14000,
       eighth, 0},
      {"20000x14000 held by too few bytes", flat(20000, 14000, TSampling::Gray, false), 20000,
       14000, plain, JERR_IMAGE_TOO_BIG},
      {"20000x18000 bitmap above 1 GiB",
       Padded(WithFrameSize(MakeJpeg(16, 16), 20000, 18000), 20000u * 18000 / 128), 20000, 18000,
       plain, JERR_IMAGE_TOO_BIG},
      {"24000x16000 progressive, above the library's 1 GiB",
       Padded(WithFrameSize(MakeJpeg(16, 16, "-progressive"), 24000, 16000), 24000u * 16000 / 128),
       24000, 16000, eighth, JERR_NO_BACKING_STORE},
      {"65500x65500 header", WithFrameSize(MakeJpeg(16, 16), 65500, 65500), 65500, 65500, plain,
       JERR_IMAGE_TOO_BIG},
      {"65500x65500 progressive header, 8-bit",
       WithFrameSize(MakeJpeg(16, 16, "-progressive"), 65500, 65500), 65500, 65500, eightBit,
       JERR_IMAGE_TOO_BIG},
      {"65500x65500 progressive header shown while loading",
       WithFrameSize(MakeJpeg(16, 16, "-progressive"), 65500, 65500), 65500, 65500, shown,
       JERR_IMAGE_TOO_BIG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.failure != 0) ExpectDecodeFails(c.jpeg, c.options, c.failure);
    ScopedDefaults scoped(c.options);
    TJPEGImage picture;
    Load(picture, c.jpeg);
    const int shrink = 1 << c.options.ShrinkFactor;
    EXPECT_EQ(picture.GetWidth(), (c.width + shrink - 1) / shrink);
    if (c.failure != 0) continue;
    TBitmap& bitmap = *GetDecodedBitmap(picture);
    EXPECT_EQ(bitmap.GetHeight(), (c.height + shrink - 1) / shrink);
    if (c.options.ShrinkFactor == sfFull) {
      EXPECT_TRUE(ShowsMiddleGray(bitmap));
    }
  }
}

// Scans that go over the whole picture again and again for a few bytes each are refused once
// they would cost more than about five sequential decodes of the picture, each counted at the work
// it makes the library do, whichever way the picture is shown; ordinary progressive files (cjpeg
// writes them at 3.3 to 4.5) decode as djpeg decodes them.
TEST(WorkBounds, ScansCostingMoreThanAFewPlainDecodesAreRefusedOrdinaryOnesAreNot) {
  const auto repeated = [](TSampling sampling, int scans, bool refine, int se) {
    HostileJpeg recipe;
    recipe.width = 640;
    recipe.height = 480;
    recipe.sampling = sampling;
    recipe.scans = RepeatedScans(sampling, scans, refine, 1, se);
    return WriteHostileJpeg(recipe);
  };
  const struct {
    const char* name;
    Bytes jpeg;
    bool refused;
  } cases[] = {
      {"4 refinements of every coefficient", repeated(TSampling::Gray, 4, true, 63), false},
      {"8 refinements of every coefficient", repeated(TSampling::Gray, 8, true, 63), true},
      {"12 refinements, 4:4:4", repeated(TSampling::Colour444, 12, true, 63), false},
      {"24 refinements, 4:4:4", repeated(TSampling::Colour444, 24, true, 63), true},
      {"499 refinements of one coefficient", repeated(TSampling::Gray, 499, true, 1), true},
      {"499 first scans", repeated(TSampling::Colour420, 499, false, 63), true},
      {"arithmetic coding, every bit of every coefficient refined",
       ArithmeticRefinementJpeg(640, 480, TSampling::Gray, 0), true},
      {"cjpeg -progressive", MakeJpeg(640, 480, "-progressive", true), false},
      {"cjpeg -progressive, 4:2:0", MakeJpeg(640, 480, "-progressive"), false},
      {"cjpeg -progressive, 4:4:4", MakeJpeg(640, 480, "-progressive -sample 1x1"), false},
      {"cjpeg -progressive -arithmetic", MakeJpeg(640, 480, "-progressive -arithmetic"), false},
  };
  for (const bool show : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (show ? ", shown while loading" : ""));
      const TJPEGDefaults options{.ShowWhileLoading = show};
      if (c.refused) {
        ExpectDecodeFails(c.jpeg, options, JERR_BAD_SCAN_SCRIPT);
        continue;
      }
      ScopedDefaults scoped(options);
      TJPEGImage picture;
      Load(picture, c.jpeg);
      ExpectSameColours(Djpeg(c.jpeg, DjpegOptions(options, picture.IsGrayscale())),
                        Resolve(*GetDecodedBitmap(picture)));
    }
  }
}

// Running notifications whose band starts at row 0 and is not empty: one per output pass (the
// last scan's is the final one), when every library callback may report.
int CountOutputPasses(TJPEGImage& picture) {
  int passes = 0;
  SetTickCountSource([tick = std::uint32_t{1}]() mutable { return tick += 600; });
  picture.OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t, bool, const TRect& rect,
                           const AnsiString&) {
    passes += stage == psRunning && rect.Top == 0 && rect.Bottom > 0;
  };
  GetDecodedBitmap(picture);
  SetTickCountSource({});
  return passes;
}

// Shown while loading, a file of many scans shows 16 passes before the final one, which shows
// what a plain decode shows after the remaining scans were read unshown.
TEST(WorkBounds, AFileWithMoreThan500ScansFailsWhateverTheDisplayMode) {
  const Bytes progressive = MakeJpeg(24, 20, "-progressive");
  const Bytes at = WithScans(progressive, 500), over = WithScans(progressive, 501);
  ASSERT_EQ(CountScans(over), 501);
  Image plain;
  for (const bool show : {false, true}) {
    SCOPED_TRACE(show ? "shown while loading" : "shown at the end");
    const TJPEGDefaults options{.ShowWhileLoading = show};
    ExpectDecodeFails(over, options, JERR_BAD_SCAN_SCRIPT);
    ScopedDefaults scoped(options);
    TJPEGImage picture;
    Load(picture, at);
    EXPECT_EQ(CountOutputPasses(picture), show ? 17 : 1);
    const Image decoded = Resolve(*GetDecodedBitmap(picture));
    if (show) ExpectSameColours(plain, decoded);
    plain = decoded;
    // Reading the header and measuring never meet the bound.
    TJPEGImage tooMany;
    Load(tooMany, over);
    EXPECT_EQ(tooMany.GetHeight(), 20);
  }
}

// Every scan of an ordinary progressive file, however large, gets an output pass of its own.
TEST(WorkBounds, PassByPassShowsEveryScanOfALargeOrdinaryFile) {
  ScopedDefaults scoped({.DecodeSpeed = dsBestSpeed, .ShowWhileLoading = true});
  TJPEGImage picture;
  Load(picture, MakeJpeg(6000, 6000, "-progressive", true));
  EXPECT_EQ(CountOutputPasses(picture), 6);
}

}  // namespace
