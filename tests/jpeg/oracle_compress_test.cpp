// Compressed bytes against cjpeg, which runs the same library: a picture saving its bitmap must
// write exactly what cjpeg writes for the same pixels and options, whatever the bitmap's pixel
// format and row order.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "framework/graphics/palette.h"
#include "tests/jpeg/test_support.h"

namespace {

// Six levels per channel, so that the image also fits an 8-bit palette of 216 colours.
int Level(int x, int y, int channel) {
  const int levels[] = {x * 5 / 40, y * 5 / 30, x + 2 * y};
  return levels[channel] % 6;
}

// The image as R,G,B rows for cjpeg.
Bytes LevelsRgb(int width, int height) {
  Bytes rgb;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) rgb.push_back(static_cast<std::uint8_t>(Level(x, y, c) * 51));
    }
  }
  return rgb;
}

enum class Layout { BottomUp24, TopDown24, Bits32, Bits8 };

// The same pixels in the given pixel format and row order, written through ScanLine.
std::unique_ptr<TBitmap> MakeBitmap(int width, int height, Layout layout) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(layout == Layout::Bits8    ? pf8bit
                         : layout == Layout::Bits32 ? pf32bit
                                                    : pf24bit);
  if (layout == Layout::TopDown24) bitmap->SetTopDown(true);
  if (layout == Layout::Bits8) {
    LOGPALETTE cube;
    cube.palNumEntries = 216;
    for (int i = 0; i < 216; ++i) {
      cube.palPalEntry[i] = {std::uint8_t(i / 36 * 51), std::uint8_t(i / 6 % 6 * 51),
                             std::uint8_t(i % 6 * 51), 0};
    }
    bitmap->SetPalette(CreatePalette(&cube));
  }
  bitmap->SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bitmap->ScanLine(y);
    for (int x = 0; x < width; ++x) {
      if (layout == Layout::Bits8) {
        row[x] =
            static_cast<std::uint8_t>(Level(x, y, 0) * 36 + Level(x, y, 1) * 6 + Level(x, y, 2));
        continue;
      }
      std::uint8_t* pixel = row + x * (layout == Layout::Bits32 ? 4 : 3);
      for (int c = 0; c < 3; ++c) pixel[2 - c] = static_cast<std::uint8_t>(Level(x, y, c) * 51);
    }
  }
  return bitmap;
}

struct Settings {
  const char* name;
  int quality;
  bool gray;
  bool progressive;
};

std::string CjpegOptions(const Settings& settings) {
  return "-quality " + std::to_string(settings.quality) + " -dct float -baseline" +
         (settings.gray ? " -grayscale" : "") + (settings.progressive ? " -progressive" : "");
}

const Bytes& CjpegOf(const Settings& settings, int width, int height) {
  static std::map<std::string, Bytes> made;
  Bytes& bytes =
      made[std::string(settings.name) + std::to_string(width) + "x" + std::to_string(height)];
  if (bytes.empty()) {
    bytes = Cjpeg(width, height, LevelsRgb(width, height), CjpegOptions(settings), false);
  }
  return bytes;
}

const Settings kSettings[] = {
    {"Quality90", 90, false, false},    {"Quality1", 1, false, false},
    {"Quality100", 100, false, false},  {"Gray75", 75, true, false},
    {"Progressive90", 90, false, true}, {"GrayProgressive50", 50, true, true}};
const std::pair<int, int> kSizes[] = {{61, 47}, {37, 1}, {1, 37}, {1, 1}};
const Layout kLayouts[] = {Layout::BottomUp24, Layout::TopDown24, Layout::Bits32, Layout::Bits8};

class OracleCompress
    : public ::testing::TestWithParam<std::tuple<Settings, std::pair<int, int>, Layout>> {};

TEST_P(OracleCompress, WritesTheBytesCjpegWrites) {
  const auto& [settings, size, layout] = GetParam();
  ScopedDefaults defaults({.SaveQuality = static_cast<TJPEGQualityRange>(settings.quality),
                           .GrayOutput = settings.gray,
                           .SaveProgressive = settings.progressive});
  TJPEGImage picture;
  picture.Assign(MakeBitmap(size.first, size.second, layout).get());
  EXPECT_EQ(Save(picture), CjpegOf(settings, size.first, size.second));
  EXPECT_EQ(picture.IsGrayscale(), settings.gray);
  EXPECT_EQ(picture.Data().ImageWidth, size.first);
}

std::string CaseName(const ::testing::TestParamInfo<OracleCompress::ParamType>& test) {
  const auto& [settings, size, layout] = test.param;
  return std::string(settings.name) + "_" + std::to_string(size.first) + "x" +
         std::to_string(size.second) + "_Layout" + std::to_string(static_cast<int>(layout));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, OracleCompress,
                         ::testing::Combine(::testing::ValuesIn(kSettings),
                                            ::testing::ValuesIn(kSizes),
                                            ::testing::ValuesIn(kLayouts)),
                         CaseName);

}  // namespace
