// Compressed bytes against cjpeg, which runs the same library: a picture saving its bitmap must
// write exactly what cjpeg writes for the same pixels and options, whatever the bitmap's pixel
// format and row order.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>

#include "framework/graphics/palette.h"
#include "tests/jpeg/test_support.h"

namespace {

// Six levels per channel, so that the image also fits an 8-bit palette of 216 colours.
int Level(int x, int y, int channel) {
  switch (channel) {
    case 0:
      return x * 5 / 40 % 6;
    case 1:
      return y * 5 / 30 % 6;
    default:
      return (x + 2 * y) % 6;
  }
}

void Put32(Bytes& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A 24-bit bottom-up BMP with no resolution, so that cjpeg writes the default JFIF density.
Bytes Bmp24(int width, int height) {
  const auto rowBytes = static_cast<std::uint32_t>((width * 3 + 3) / 4 * 4);
  const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(height);
  Bytes bmp = {'B', 'M'};
  Put32(bmp, 54 + imageBytes);
  Put32(bmp, 0);
  Put32(bmp, 54);
  Put32(bmp, 40);
  Put32(bmp, static_cast<std::uint32_t>(width));
  Put32(bmp, static_cast<std::uint32_t>(height));
  Put32(bmp, 1 | (24 << 16));
  for (int i = 0; i < 6; ++i) Put32(bmp, i == 1 ? imageBytes : 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 2; c >= 0; --c) bmp.push_back(static_cast<std::uint8_t>(Level(x, y, c) * 51));
    }
    bmp.resize(bmp.size() + rowBytes - static_cast<std::uint32_t>(width) * 3);
  }
  return bmp;
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

Bytes Cjpeg(const Settings& settings, int width, int height) {
  static std::map<std::string, Bytes> made;
  const std::string key =
      std::string(settings.name) + std::to_string(width) + "x" + std::to_string(height);
  Bytes& bytes = made[key];
  if (!bytes.empty()) return bytes;
  TempDir dir;
  WriteFileBytes(dir.Path("in.bmp"), Bmp24(width, height));
  const std::string command = "cjpeg " + CjpegOptions(settings) + " -outfile '" +
                              dir.Path("out.jpg").string() + "' '" + dir.Path("in.bmp").string() +
                              "'";
  if (RunShell(command) != 0) throw std::runtime_error("cjpeg failed: " + command);
  bytes = ReadFileBytes(dir.Path("out.jpg"));
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
  TJPEGDefaults options;
  options.SaveQuality = static_cast<TJPEGQualityRange>(settings.quality);
  options.GrayOutput = settings.gray;
  options.SaveProgressive = settings.progressive;
  ScopedDefaults defaults(options);
  TJPEGImage picture;
  picture.Assign(MakeBitmap(size.first, size.second, layout).get());
  TMemoryStream saved;
  picture.SaveToStream(saved);
  EXPECT_EQ(BytesOf(saved), Cjpeg(settings, size.first, size.second));
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

TEST(ToolEncode, WritesTheBytesCjpegWritesAndRejectsBadArguments) {
  TempDir dir;
  WriteFileBytes(dir.Path("in.bmp"), Bmp24(61, 47));
  const std::string in = "'" + dir.Path("in.bmp").string() + "' ";
  const std::string out = "'" + dir.Path("out.jpg").string() + "'";
  const std::string tool = "'" TALVESK_BINARY_DIR "/tools/talvesk-jpeg' encode ";
  const Settings cases[] = {{"Quality90", 90, false, false},
                            {"ToolGrayProgressive75", 75, true, true}};
  for (const Settings& settings : cases) {
    std::string arguments = settings.quality == 90 ? "" : " --quality 75";
    if (settings.gray) arguments += " --gray --progressive";
    ASSERT_EQ(RunShell(tool + in + out + arguments), 0) << arguments;
    EXPECT_EQ(ReadFileBytes(dir.Path("out.jpg")), Cjpeg(settings, 61, 47)) << arguments;
  }
  for (const std::string bad : {"--quality 0", "--quality 101", "--quality x", "--speed 3"}) {
    EXPECT_EQ(RunShell(tool + in + out + " " + bad + " 2>/dev/null"), 2) << bad;
  }
  EXPECT_EQ(RunShell(tool + in + " 2>/dev/null"), 2);
  EXPECT_EQ(RunShell(tool + "'" + dir.Path("missing.bmp").string() + "' " + out + " 2>/dev/null"),
            1);
}

}  // namespace
