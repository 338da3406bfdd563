// Hostile files: huge announced sizes and endless scan sequences are refused before they cost
// memory or time, while the header still reads.
#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>
#include <string>

#include "framework/platform/clock.h"
#include "tests/jpeg/test_support.h"
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

// Start-of-scan markers; entropy-coded data stuffs every 0xFF, so none hides in it.
int CountScans(const Bytes& jpeg) {
  int scans = 0;
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) scans += jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA;
  return scans;
}

// The file's last scan repeated until the file has `total` scans.
Bytes WithScans(const Bytes& jpeg, int total) {
  const Bytes sos{0xFF, 0xDA};
  const auto last = std::find_end(jpeg.begin(), jpeg.end(), sos.begin(), sos.end());
  const auto end = jpeg.end() - 2;  // end of image
  Bytes out(jpeg.begin(), end);
  for (int n = CountScans(jpeg); n < total; ++n) out.insert(out.end(), last, end);
  out.insert(out.end(), end, jpeg.end());
  return out;
}

void ExpectDecodeFails(const Bytes& jpeg, const TJPEGDefaults& options, int code) {
  ScopedDefaults scoped(options);
  TJPEGImage picture;
  Load(picture, jpeg);
  ExpectMessage<EJPEG>([&] { GetDecodedBitmap(picture); }, JpegErrorText(code));
}

// Large pictures decode when the file backs their size (a byte per 128 pixels; comment segments
// pad it) and the bitmap fits in 1 GiB; the size reads either way. A 65500 x 65500 header fails
// before any whole-image buffer, which would meet a 1 GiB cap with another error.
TEST(WorkBounds, LargePicturesDecodeWithinTheFileAndMemoryBounds) {
  const TJPEGDefaults plain, eighth{.ShrinkFactor = sfEighth}, eightBit{.BitmapDepth = bd8Bit},
      shown{.ShowWhileLoading = true};
  const struct {
    const char* name;
    bool gray, progressive;
    int width, height;
    const TJPEGDefaults& options;
    bool padded;
    int failure;  // 0: decodes
  } cases[] = {
      {"9000x8000 grayscale scan", true, false, 9000, 8000, plain, true, 0},
      {"1/8 of a 20000x14000 panorama", false, false, 20000, 14000, eighth, true, 0},
      {"9000x8000 held by too few bytes", true, false, 9000, 8000, plain, false,
       JERR_IMAGE_TOO_BIG},
      {"20000x18000 bitmap above 1 GiB", false, false, 20000, 18000, plain, true,
       JERR_IMAGE_TOO_BIG},
      {"24000x16000 progressive, above the library's 1 GiB", false, true, 24000, 16000, eighth,
       true, JERR_NO_BACKING_STORE},
      {"65500x65500 header", false, false, 65500, 65500, plain, false, JERR_IMAGE_TOO_BIG},
      {"65500x65500 progressive header, 8-bit", false, true, 65500, 65500, eightBit, false,
       JERR_IMAGE_TOO_BIG},
      {"65500x65500 progressive header shown while loading", false, true, 65500, 65500, shown,
       false, JERR_IMAGE_TOO_BIG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes jpeg = WithFrameSize(MakeJpeg(16, 16, c.progressive ? "-progressive" : "", c.gray),
                               c.width, c.height);
    if (c.padded)
      jpeg = Padded(jpeg,
                    static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height) / 128);
    if (c.failure != 0) ExpectDecodeFails(jpeg, c.options, c.failure);
    ScopedDefaults scoped(c.options);
    TJPEGImage picture;
    Load(picture, jpeg);
    const int shrink = 1 << c.options.ShrinkFactor;
    EXPECT_EQ(picture.GetWidth(), (c.width + shrink - 1) / shrink);
    if (c.failure != 0) continue;
    TBitmap& bitmap = *GetDecodedBitmap(picture);
    EXPECT_EQ(bitmap.GetHeight(), (c.height + shrink - 1) / shrink);
    EXPECT_EQ(bitmap.GetPixelFormat(), c.gray ? pf8bit : pf24bit);
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
