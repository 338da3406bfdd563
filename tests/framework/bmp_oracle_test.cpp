#include <gtest/gtest.h>

#include <string>

#include "framework/graphics/bitmap.h"
#include "tests/support/shell.h"
#include "tests/support/temp_dir.h"

namespace {

// The bitmap's pixels as R,G,B bytes, rows top to bottom, whatever its format.
std::string BitmapRgb(TBitmap& bitmap) {
  std::string rgb;
  const int bits = BitsPerPixel(bitmap.GetPixelFormat());
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.GetWidth(); ++x) {
      const std::uint8_t* pixel = row + x * bits / 8;
      const TColor colour =
          bits >= 24
              ? RGB(pixel[2], pixel[1], pixel[0])
              : bitmap.PaletteColor((*pixel >> (8 - bits - x * bits % 8)) & ((1 << bits) - 1));
      rgb += {static_cast<char>(GetRValue(colour)), static_cast<char>(GetGValue(colour)),
              static_cast<char>(GetBValue(colour))};
    }
  }
  return rgb;
}

// The picture's pixels as ImageMagick sees them: R,G,B bytes, rows top to bottom.
int DecodeToRgb(const std::string& file, std::string* rgb) {
  return RunShell("convert '" + file + "' -depth 8 rgb:- 2>/dev/null", rgb);
}

class BmpOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  }
  TempDir dir;
};

TEST_F(BmpOracle, ReadsWhatImageMagickWritesForEveryDepth) {
  struct Sample {
    const char* arguments;  // what convert draws and how it stores it
    TPixelFormat format;
    int width;
  };
  const Sample samples[] = {
      {"-size 13x7 pattern:checkerboard -monochrome BMP3:", pf1bit, 13},
      {"-size 13x7 gradient:red-blue -colors 16 -compress none BMP3:", pf4bit, 13},
      {"hald:3 -colors 200 -type Palette -compress none BMP3:", pf8bit, 27},
      {"hald:3 -type TrueColor BMP3:", pf24bit, 27},
      {"-size 13x7 gradient:red-blue -alpha on -define bmp3:alpha=true BMP3:", pf32bit, 13},
      {"-size 13x7 gradient:red-blue -type TrueColorAlpha -define bmp:format=bmp4 BMP:", pf32bit,
       13},
  };
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.arguments);
    const std::string file = dir.Path("magick.bmp").string();
    ASSERT_EQ(RunShell(std::string("convert ") + sample.arguments + "'" + file + "'"), 0);
    std::string expected;
    ASSERT_EQ(DecodeToRgb(file, &expected), 0);
    TBitmap bitmap;
    bitmap.LoadFromFile(file);
    EXPECT_EQ(bitmap.GetPixelFormat(), sample.format);
    EXPECT_EQ(bitmap.GetWidth(), sample.width);
    EXPECT_EQ(BitmapRgb(bitmap), expected);
    bitmap.SetPixelFormat(pf24bit);  // conversion keeps every colour
    EXPECT_EQ(BitmapRgb(bitmap), expected);
  }
}

TEST_F(BmpOracle, ImageMagickReadsWhatWeWriteInBothRowOrders) {
  for (const TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit}) {
    for (const bool topDown : {false, true}) {
      // Odd widths need row padding; distinct palette colours and pixel values expose any
      // byte, nibble, bit or row order mistake.
      const int bits = BitsPerPixel(format);
      TBitmap bitmap;
      bitmap.SetPixelFormat(format);
      bitmap.SetTopDown(topDown);
      bitmap.SetSize(bits == 1 ? 13 : 7 + topDown * 2, 5);
      if (bits <= 8) {
        LOGPALETTE log;
        log.palNumEntries = static_cast<std::uint16_t>(1 << bits);
        for (int i = 0; i < log.palNumEntries; ++i) {
          log.palPalEntry[i] = {static_cast<std::uint8_t>(i * 7 + 3),
                                static_cast<std::uint8_t>(255 - i),
                                static_cast<std::uint8_t>(i * 13), 0};
        }
        bitmap.SetPalette(CreatePalette(&log));
      }
      for (int y = 0; y < 5; ++y)
        for (std::int64_t x = 0; x < bitmap.RowBytes(); ++x)
          bitmap.ScanLine(y)[x] = static_cast<std::uint8_t>(x * 37 + y * 101 + 5);
      const std::string file = dir.Path("ours.bmp").string();
      bitmap.SaveToFile(file);

      std::string decoded;
      EXPECT_EQ(DecodeToRgb(file, &decoded), 0);
      EXPECT_EQ(decoded, BitmapRgb(bitmap)) << bits << " bits, top-down " << topDown;
      TBitmap reread;
      reread.LoadFromFile(file);
      EXPECT_TRUE(reread.IsEqual(&bitmap));
      EXPECT_EQ(reread.TopDown(), topDown);
    }
  }
}

}  // namespace
