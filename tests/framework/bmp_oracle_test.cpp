#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/graphics/bitmap.h"
#include "framework/system/exceptions.h"
#include "tests/framework/bitmap_helpers.h"
#include "tests/framework/image_magick.h"
#include "tests/framework/temp_dir.h"

namespace {

// The bitmap's pixels as R,G,B bytes, rows top to bottom, whatever its format.
std::string BitmapRgb(TBitmap& bitmap) {
  std::string rgb;
  const int bits = BitsPerPixel(bitmap.GetPixelFormat());
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.GetWidth(); ++x) {
      TColor colour = 0;
      if (bits >= 24) {
        const std::uint8_t* pixel = row + x * (bits / 8);
        colour = RGB(pixel[2], pixel[1], pixel[0]);
      } else {
        const int bit = x * bits;
        const int index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
        colour = bitmap.PaletteColor(index);
      }
      rgb += static_cast<char>(GetRValue(colour));
      rgb += static_cast<char>(GetGValue(colour));
      rgb += static_cast<char>(GetBValue(colour));
    }
  }
  return rgb;
}

struct MagickFile {
  const char* name;
  const char* arguments;  // what convert is asked to draw and how to store it
  TPixelFormat format;
  int width;
  int height;
};

class BmpOracle : public ::testing::TestWithParam<MagickFile> {
 protected:
  void SetUp() override {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  }
  TempDir dir;
};

TEST_P(BmpOracle, ReadsWhatImageMagickWritesPixelExactly) {
  const MagickFile& sample = GetParam();
  const std::string file = dir.Path() + "/" + sample.name + ".bmp";
  bool ok = false;
  RunCapture(std::string("convert ") + sample.arguments + "'" + file + "'", &ok);
  ASSERT_TRUE(ok) << sample.arguments;
  const std::string expected = DecodeToRgb(file, &ok);
  ASSERT_TRUE(ok);

  TBitmap bitmap;
  bitmap.LoadFromFile(file);
  EXPECT_EQ(bitmap.GetPixelFormat(), sample.format);
  ASSERT_EQ(bitmap.GetWidth(), sample.width);
  ASSERT_EQ(bitmap.GetHeight(), sample.height);
  EXPECT_FALSE(bitmap.TopDown());
  EXPECT_EQ(BitmapRgb(bitmap), expected);

  // Conversion to 24 bits keeps every colour.
  bitmap.SetPixelFormat(pf24bit);
  EXPECT_EQ(BitmapRgb(bitmap), expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryDepth, BmpOracle,
    ::testing::Values(
        MagickFile{"bilevel", "-size 13x7 pattern:checkerboard -monochrome BMP3:", pf1bit, 13, 7},
        MagickFile{"sixteen",
                   "-size 13x7 gradient:red-blue -colors 16 -compress none BMP3:", pf4bit, 13, 7},
        MagickFile{"palette", "hald:3 -colors 200 -type Palette -compress none BMP3:", pf8bit, 27,
                   27},
        MagickFile{"gray", "-size 13x7 gradient: -type Palette -compress none BMP3:", pf4bit, 13,
                   7},
        MagickFile{"truecolor", "hald:3 -type TrueColor BMP3:", pf24bit, 27, 27},
        MagickFile{"truecolor32",
                   "-size 13x7 gradient:red-blue -alpha on -define bmp3:alpha=true BMP3:", pf32bit,
                   13, 7},
        MagickFile{"bitfields32",
                   "-size 13x7 gradient:red-blue -type TrueColorAlpha -define bmp:format=bmp4 BMP:",
                   pf32bit, 13, 7}),
    [](const ::testing::TestParamInfo<MagickFile>& sample) { return sample.param.name; });

struct WrittenCase {
  TPixelFormat format;
  int width;
  bool topDown;
};

class BmpWrite : public ::testing::TestWithParam<WrittenCase> {
 protected:
  void SetUp() override {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  }
  TempDir dir;
};

// Pixels no byte order or row order mistake can survive: every pixel different where the format
// allows it, indexed formats with a palette of distinct colours.
void FillPattern(TBitmap& bitmap) {
  const int bits = BitsPerPixel(bitmap.GetPixelFormat());
  if (bits <= 8) {
    LOGPALETTE log;
    log.palNumEntries = static_cast<std::uint16_t>(1 << bits);
    for (int i = 0; i < log.palNumEntries; ++i) {
      log.palPalEntry[i] = {static_cast<std::uint8_t>(i * 7 + 3),
                            static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 13),
                            0};
    }
    bitmap.SetPalette(CreatePalette(&log));
  }
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    std::uint8_t* row = bitmap.ScanLine(y);
    if (bits <= 8) {
      for (int x = 0; x < bitmap.GetWidth(); ++x) {
        const int value = (x * 5 + y * 3) & ((1 << bits) - 1);
        const int bit = x * bits;
        row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | value << (8 - bits - bit % 8));
      }
    } else {
      for (int x = 0; x < bitmap.GetWidth(); ++x) {
        SetPixel(bitmap, x, y,
                 RGB(static_cast<std::uint8_t>(x * 20), static_cast<std::uint8_t>(y * 30),
                     static_cast<std::uint8_t>(x * y + 1)));
      }
    }
  }
}

TEST_P(BmpWrite, ImageMagickReadsWhatWeWritePixelExactly) {
  const WrittenCase& sample = GetParam();
  TBitmap bitmap;
  bitmap.SetPixelFormat(sample.format);
  bitmap.SetTopDown(sample.topDown);
  bitmap.SetSize(sample.width, 5);
  FillPattern(bitmap);
  const std::string file = dir.Path() + "/ours.bmp";
  bitmap.SaveToFile(file);

  bool ok = false;
  EXPECT_EQ(DecodeToRgb(file, &ok), BitmapRgb(bitmap));
  EXPECT_TRUE(ok);

  // And reading our own file back gives the same bitmap, row order included.
  TBitmap reread;
  reread.LoadFromFile(file);
  EXPECT_TRUE(reread.IsEqual(&bitmap));
  EXPECT_EQ(reread.TopDown(), sample.topDown);
}

INSTANTIATE_TEST_SUITE_P(
    EveryDepthBothOrders, BmpWrite,
    ::testing::Values(WrittenCase{pf1bit, 13, false}, WrittenCase{pf1bit, 33, true},
                      WrittenCase{pf4bit, 7, false}, WrittenCase{pf4bit, 9, true},
                      WrittenCase{pf8bit, 5, false}, WrittenCase{pf8bit, 3, true},
                      WrittenCase{pf24bit, 7, false}, WrittenCase{pf24bit, 5, true},
                      WrittenCase{pf32bit, 3, false}, WrittenCase{pf32bit, 6, true}));

TEST(BmpFile, ResolutionIsKeptFromTheFileAndZeroOtherwise) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  const std::string file = dir.Path() + "/dense.bmp";
  bool ok = false;
  RunCapture(
      "convert -size 3x2 xc:red -units PixelsPerCentimeter -density 40x20 BMP3:'" + file + "'",
      &ok);
  ASSERT_TRUE(ok);
  TBitmap bitmap;
  bitmap.LoadFromFile(file);
  EXPECT_EQ(bitmap.XPelsPerMeter(), 4000);
  EXPECT_EQ(bitmap.YPelsPerMeter(), 2000);

  TMemoryStream written;
  bitmap.SaveToStream(written);
  EXPECT_EQ(written.Memory()[14 + 24] | written.Memory()[14 + 25] << 8, 4000);
  TBitmap fresh;
  fresh.SetSize(1, 1);
  TMemoryStream plain;
  fresh.SaveToStream(plain);
  for (int i = 24; i < 32; ++i) EXPECT_EQ(plain.Memory()[14 + i], 0) << i;
}

}  // namespace
