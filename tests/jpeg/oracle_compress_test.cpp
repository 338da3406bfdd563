// Compressed bytes against cjpeg, which runs the same library: a picture saving its bitmap must
// write exactly what cjpeg writes for the same pixels and options, whatever the bitmap's pixel
// format and row order.
#include <gtest/gtest.h>

#include <string>

#include "tests/jpeg/test_support.h"

namespace {

struct Settings {
  const char* name;
  int quality;
  bool gray;
  bool progressive;
};

const Settings kSettings[] = {
    {"Quality90", 90, false, false},    {"Quality1", 1, false, false},
    {"Quality100", 100, false, false},  {"Gray75", 75, true, false},
    {"Progressive90", 90, false, true}, {"GrayProgressive50", 50, true, true}};
const std::pair<int, int> kSizes[] = {{61, 47}, {37, 1}, {1, 37}, {1, 1}};
enum class Layout { BottomUp24, TopDown24, Bits32, Bits8 };
const Layout kLayouts[] = {Layout::BottomUp24, Layout::TopDown24, Layout::Bits32, Layout::Bits8};

class OracleCompress
    : public ::testing::TestWithParam<std::tuple<Settings, std::pair<int, int>, Layout>> {};

TEST_P(OracleCompress, WritesTheBytesCjpegWrites) {
  const auto& [settings, size, layout] = GetParam();
  const auto [width, height] = size;
  ScopedDefaults defaults({.SaveQuality = static_cast<TJPEGQualityRange>(settings.quality),
                           .GrayOutput = settings.gray,
                           .SaveProgressive = settings.progressive});
  auto bitmap = PatternBitmap(width, height);
  if (layout == Layout::TopDown24) bitmap->SetTopDown(true);
  if (layout == Layout::Bits32) bitmap->SetPixelFormat(pf32bit);
  if (layout == Layout::Bits8) bitmap->SetPixelFormat(pf8bit);  // nearest halftone entries
  TJPEGImage picture;
  picture.Assign(bitmap.get());
  // The colours shown: those of the pattern, or of the palette entries the indices name.
  const Bytes rgb = Resolve(layout == Layout::Bits8 ? *bitmap : *PatternBitmap(width, height)).rgb;
  const std::string options = "-quality " + std::to_string(settings.quality) +
                              " -dct float -baseline" + (settings.gray ? " -grayscale" : "") +
                              (settings.progressive ? " -progressive" : "");
  EXPECT_EQ(Save(picture), Cjpeg(width, height, rgb, options, false));
  EXPECT_EQ(picture.IsGrayscale(), settings.gray);
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
