#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/canvas.h"
#include "tests/support/gray_palette.h"

namespace {

constexpr std::uint32_t kBackground = 0xABCDEF;

struct Frame {
  Frame(int width, int height)
      : pixels(static_cast<std::size_t>(width) * height, kBackground),
        canvas({pixels.data(), width, height, width}) {}
  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y * canvas.Surface().width + x)];
  }
  std::vector<std::uint32_t> pixels;
  TCanvas canvas;
};

// A 24-bit bitmap of these colours, row by row from the top.
void Paint(TBitmap& bitmap, int width, int height, std::initializer_list<TColor> colours) {
  bitmap.SetSize(width, height);
  for (int i = 0; i < static_cast<int>(colours.size()); ++i) {
    std::uint8_t* pixel = bitmap.ScanLine(i / width) + i % width * 3;
    const TColor colour = colours.begin()[i];
    pixel[0] = GetBValue(colour);
    pixel[1] = GetGValue(colour);
    pixel[2] = GetRValue(colour);
  }
}

// Shrinking averages the covered area, enlarging repeats the nearest pixel; fills clip too.
TEST(Canvas, StretchDrawAveragesOrRepeatsAndFillRectClips) {
  TBitmap bitmap;
  Paint(bitmap, 2, 2, {RGB(10, 20, 30), RGB(50, 60, 70), RGB(90, 100, 110), RGB(130, 140, 150)});
  Frame frame(3, 1);
  frame.canvas.StretchDraw({1, 0, 2, 1}, &bitmap);
  EXPECT_EQ(frame.pixels, (std::vector<std::uint32_t>{kBackground, 0x46505A, kBackground}));

  Paint(bitmap, 2, 2, {clWhite, clBlack, clBlack, clWhite});  // a checker: 127.5 rounds up
  frame.canvas.StretchDraw({0, 0, 1, 1}, &bitmap);
  EXPECT_EQ(frame.At(0, 0), 0x808080U);

  Paint(bitmap, 2, 1, {RGB(17, 17, 17), RGB(199, 1, 2)});
  Frame large(4, 2);
  large.canvas.StretchDraw({0, 0, 4, 2}, &bitmap);
  const std::uint32_t a = 0x111111, b = 0xC70102;
  EXPECT_EQ(large.pixels, (std::vector<std::uint32_t>{a, a, b, b, a, a, b, b}));
  large.canvas.FillRect({-5, 1, 2, 9}, RGB(1, 2, 3));  // clipped to the surface
  EXPECT_EQ(large.pixels, (std::vector<std::uint32_t>{a, a, b, b, 0x010203, 0x010203, b, b}));
}

// Box average computed the plain way, in floating point.
double Reference(TBitmap& bitmap, int channel, double x0, double x1, double y0, double y1) {
  double sum = 0;
  for (int y = static_cast<int>(y0); y < std::ceil(y1); ++y) {
    for (int x = static_cast<int>(x0); x < std::ceil(x1); ++x) {
      const double area = (std::min<double>(x + 1, x1) - std::max<double>(x, x0)) *
                          (std::min<double>(y + 1, y1) - std::max<double>(y, y0));
      sum += area * bitmap.ScanLine(y)[x * 3 + channel];
    }
  }
  return sum / ((x1 - x0) * (y1 - y0));
}

TEST(StretchDraw, MatchesAPlainBoxAverageAndClipsToTheSurface) {
  std::mt19937 random(7);
  // Small sums; 32-bit sums over runs of more than 256 rows, with light and with heavy edge
  // weights (the latter when many destination rows share the source rows).
  const struct {
    int sourceWidth, sourceHeight, width, height;
  } sizes[] = {{37, 23, 10, 7}, {45, 700, 6, 2}, {19, 700, 3, 300}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(size.sourceHeight * 1000 + size.height);
    TBitmap tall;
    tall.SetSize(size.sourceWidth, size.sourceHeight);
    for (int y = 0; y < size.sourceHeight; ++y)
      for (int x = 0; x < size.sourceWidth * 3; ++x)
        tall.ScanLine(y)[x] = static_cast<std::uint8_t>(random());
    Frame frame(size.width, size.height);
    frame.canvas.StretchDraw({0, 0, size.width, size.height}, &tall);
    const double xScale = static_cast<double>(size.sourceWidth) / size.width;
    const double yScale = static_cast<double>(size.sourceHeight) / size.height;
    for (int y = 0; y < size.height; ++y) {
      for (int x = 0; x < size.width; ++x) {
        for (int c = 0; c < 3; ++c) {  // B, G, R from the low end of the pixel
          const double expected =
              Reference(tall, c, x * xScale, (x + 1) * xScale, y * yScale, (y + 1) * yScale);
          const auto got = static_cast<int>((frame.At(x, y) >> (8 * c)) & 0xFF);
          ASSERT_LE(std::abs(got - expected), 0.5 + 1e-9) << x << "," << y << " channel " << c;
        }
      }
    }
    // The same rectangle hanging off every side of a smaller surface gives the same pixels.
    const int clippedWidth = std::max(size.width - 3, 1),
              clippedHeight = std::max(size.height - 2, 1);
    Frame clipped(clippedWidth, clippedHeight);
    clipped.canvas.StretchDraw({-2, -1, size.width - 2, size.height - 1}, &tall);
    for (int y = 0; y < clippedHeight; ++y)
      for (int x = 0; x < clippedWidth; ++x) ASSERT_EQ(clipped.At(x, y), frame.At(x + 2, y + 1));
  }
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

}  // namespace
