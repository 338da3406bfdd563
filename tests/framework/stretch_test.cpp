#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/canvas.h"
#include "tests/framework/bitmap_helpers.h"

namespace {

struct Frame {
  Frame(int width, int height, std::uint32_t fill = 0xABCDEF)
      : pixels(static_cast<std::size_t>(width) * height, fill),
        canvas({pixels.data(), width, height, width}) {}
  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y * canvas.Surface().pitchPixels + x)];
  }
  std::vector<std::uint32_t> pixels;
  TCanvas canvas;
};

constexpr std::uint32_t Xrgb(int r, int g, int b) {
  return static_cast<std::uint32_t>(r << 16 | g << 8 | b);
}

TEST(StretchDraw, ShrinkingAveragesTheCoveredArea) {
  TBitmap bitmap;
  bitmap.SetSize(2, 2);
  SetPixel(bitmap, 0, 0, RGB(10, 20, 30));
  SetPixel(bitmap, 1, 0, RGB(50, 60, 70));
  SetPixel(bitmap, 0, 1, RGB(90, 100, 110));
  SetPixel(bitmap, 1, 1, RGB(130, 140, 150));
  Frame frame(3, 3);
  frame.canvas.StretchDraw({1, 1, 2, 2}, &bitmap);
  EXPECT_EQ(frame.At(1, 1), Xrgb(70, 80, 90));
  EXPECT_EQ(frame.At(0, 0), 0xABCDEFU);
  EXPECT_EQ(frame.At(2, 2), 0xABCDEFU);

  // Black and white checker: the mean 127.5 rounds up.
  SetPixel(bitmap, 0, 0, clWhite);
  SetPixel(bitmap, 1, 0, clBlack);
  SetPixel(bitmap, 0, 1, clBlack);
  SetPixel(bitmap, 1, 1, clWhite);
  frame.canvas.StretchDraw({0, 0, 1, 1}, &bitmap);
  EXPECT_EQ(frame.At(0, 0), Xrgb(128, 128, 128));
}

TEST(StretchDraw, PartlyCoveredPixelsCountByTheirShare) {
  TBitmap bitmap;
  bitmap.SetSize(3, 1);
  SetPixel(bitmap, 0, 0, RGB(0, 0, 0));
  SetPixel(bitmap, 1, 0, RGB(90, 0, 0));
  SetPixel(bitmap, 2, 0, RGB(180, 0, 0));
  Frame frame(2, 1);
  frame.canvas.StretchDraw({0, 0, 2, 1}, &bitmap);
  // Each output pixel covers one and a half source pixels.
  EXPECT_EQ(frame.At(0, 0), Xrgb(30, 0, 0));   // (0 + 45) / 1.5
  EXPECT_EQ(frame.At(1, 0), Xrgb(150, 0, 0));  // (45 + 180) / 1.5
}

TEST(StretchDraw, EnlargingRepeatsTheNearestPixel) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetPalette(GrayPalette(200));
  bitmap.SetSize(2, 1);
  bitmap.ScanLine(0)[0] = 17;
  bitmap.ScanLine(0)[1] = 199;
  Frame frame(4, 2);
  frame.canvas.StretchDraw({0, 0, 4, 2}, &bitmap);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(frame.At(0, y), Xrgb(17, 17, 17));
    EXPECT_EQ(frame.At(1, y), Xrgb(17, 17, 17));
    EXPECT_EQ(frame.At(2, y), Xrgb(199, 199, 199));
    EXPECT_EQ(frame.At(3, y), Xrgb(199, 199, 199));
  }
}

// Box average computed the plain way, in floating point.
double Reference(TBitmap& bitmap, int channel, double x0, double x1, double y0, double y1) {
  double sum = 0;
  for (int y = static_cast<int>(y0); y < std::ceil(y1); ++y) {
    const double h = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
    for (int x = static_cast<int>(x0); x < std::ceil(x1); ++x) {
      const double w = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
      sum += w * h * bitmap.ScanLine(y)[x * 3 + channel];
    }
  }
  return sum / ((x1 - x0) * (y1 - y0));
}

TEST(StretchDraw, MatchesAPlainBoxAverageAndClipsToTheSurface) {
  std::mt19937 random(7);
  TBitmap bitmap;
  bitmap.SetSize(37, 23);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37 * 3; ++x) bitmap.ScanLine(y)[x] = static_cast<std::uint8_t>(random());

  const int width = 10;
  const int height = 7;
  Frame whole(width, height);
  whole.canvas.StretchDraw({0, 0, width, height}, &bitmap);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double sx = 37.0 / width;
      const double sy = 23.0 / height;
      const std::uint32_t pixel = whole.At(x, y);
      for (int c = 0; c < 3; ++c) {
        const double expected = Reference(bitmap, c, x * sx, (x + 1) * sx, y * sy, (y + 1) * sy);
        const auto got = static_cast<int>((pixel >> (8 * c)) & 0xFF);  // B, G, R from the low end
        EXPECT_LE(std::abs(got - expected), 0.5 + 1e-9) << x << "," << y << " channel " << c;
      }
    }
  }

  // The same rectangle hanging off the top-left of a smaller surface gives the same pixels.
  Frame clipped(6, 4);
  clipped.canvas.StretchDraw({-3, -2, width - 3, height - 2}, &bitmap);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      if (x + 3 < width && y + 2 < height)
        EXPECT_EQ(clipped.At(x, y), whole.At(x + 3, y + 2));
      else
        EXPECT_EQ(clipped.At(x, y), 0xABCDEFU);

  Frame untouched(2, 2);
  untouched.canvas.StretchDraw({5, 5, 9, 9}, &bitmap);
  untouched.canvas.StretchDraw({0, 0, 0, 2}, &bitmap);
  EXPECT_TRUE(std::all_of(untouched.pixels.begin(), untouched.pixels.end(),
                          [](std::uint32_t p) { return p == 0xABCDEFU; }));
}

TEST(StretchDraw, EveryFormatDrawsLikeItsTrueColourCopy) {
  std::mt19937 random(11);
  for (const TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf32bit}) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(format);
    if (format != pf32bit) bitmap.SetPalette(GrayPalette(1 << BitsPerPixel(format)));
    bitmap.SetSize(29, 31);
    for (int y = 0; y < 31; ++y)
      for (std::int64_t x = 0; x < bitmap.RowBytes(); ++x)
        bitmap.ScanLine(y)[x] = static_cast<std::uint8_t>(random());
    TBitmap trueColour;
    trueColour.Assign(&bitmap);
    trueColour.SetPixelFormat(pf24bit);
    for (const TRect rect : {TRect{0, 0, 6, 5}, TRect{0, 0, 40, 45}, TRect{1, 2, 30, 9}}) {
      Frame expected(40, 45);
      Frame got(40, 45);
      expected.canvas.StretchDraw(rect, &trueColour);
      got.canvas.StretchDraw(rect, &bitmap);
      EXPECT_EQ(got.pixels, expected.pixels) << BitsPerPixel(format) << " bits";
    }
  }
}

TEST(Canvas, FillRectClipsAndStoresRedHigh) {
  Frame frame(3, 2, 0);
  frame.canvas.FillRect({-5, 1, 2, 9}, RGB(1, 2, 3));
  EXPECT_EQ(frame.At(0, 1), 0x010203U);
  EXPECT_EQ(frame.At(1, 1), 0x010203U);
  EXPECT_EQ(frame.At(2, 1), 0U);
  EXPECT_EQ(frame.At(0, 0), 0U);
}

}  // namespace
