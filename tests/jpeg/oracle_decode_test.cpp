// Decoded pixels against djpeg, which runs the same library with the equivalent options: every
// complete file must decode to exactly the same colours (four-component files to the colours
// djpeg gives them, then to what the options ask for).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "framework/graphics/palette.h"
#include "tests/jpeg/test_support.h"

namespace {

// Four-component files, as Adobe applications write them: inverted CMYK, or YCCK.
enum Ink { kNoInk, kCmyk, kYcck };

struct Source {
  const char* name;
  int width, height;
  const char* cjpeg;
  bool gray = false;
  Ink ink = kNoInk;
};

const Source kSources[] = {
    {"Sampled420", 61, 47, ""},
    {"Sampled422", 61, 47, "-sample 2x1"},
    {"Sampled444", 61, 47, "-sample 1x1"},
    {"Grayscale", 61, 47, "", true},
    {"Progressive", 61, 47, "-progressive"},
    {"GrayProgressive", 40, 30, "-progressive", true},
    {"Restarts", 61, 47, "-restart 1"},
    {"Arithmetic", 61, 47, "-arithmetic"},
    {"Size1x1", 1, 1, ""},
    {"Size1x37", 1, 37, ""},
    {"Size37x1", 37, 1, "-progressive"},
    {"Ycck", 29, 19, "", false, kYcck},
    {"CmykProgressive", 29, 19, "-progressive", false, kCmyk},
};

struct Mode {
  const char* name;
  TJPEGDefaults options;
};

const Mode kModes[] = {
    {"Colour24", {}},
    {"Colour8", {.BitmapDepth = bd8Bit}},
    {"GrayOutput", {.GrayOutput = true}},
    {"Fast8", {.DecodeSpeed = dsBestSpeed, .BitmapDepth = bd8Bit}},
    {"Half", {.ShrinkFactor = sfHalf}},
    {"Eighth8", {.BitmapDepth = bd8Bit, .ShrinkFactor = sfEighth}},
    {"ShownWhileLoading24", {.ShowWhileLoading = true}},
    {"ShownWhileLoading8", {.BitmapDepth = bd8Bit, .ShowWhileLoading = true}},
    {"ShownWhileLoadingFast8",
     {.DecodeSpeed = dsBestSpeed, .BitmapDepth = bd8Bit, .ShowWhileLoading = true}},
    {"ShownWhileLoadingGray",
     {.GrayOutput = true, .BitmapDepth = bd8Bit, .ShowWhileLoading = true}},
};

// ImageMagick stores a CMYK image as YCCK (Adobe marker transform 2); with that byte cleared,
// the same bytes are a plain CMYK file.
Bytes MakeInkJpeg(const Source& source) {
  TempDir dir;
  const std::string command = std::string(
                                  "convert -size 29x19 xc: -sparse-color Bilinear "
                                  "'0,0 cyan 28,0 yellow 0,18 navy 28,18 red' -colorspace CMYK ") +
                              (std::string(source.cjpeg).empty() ? "" : "-interlace JPEG ") +
                              dir.Quoted("ink.jpg");
  EXPECT_EQ(RunShell(command), 0);
  Bytes jpeg = ReadFileBytes(dir.Path("ink.jpg"));
  EXPECT_EQ(std::string(jpeg.begin() + 6, jpeg.begin() + 11), "Adobe");
  EXPECT_EQ(jpeg.at(17), 2);
  if (source.ink == kCmyk) jpeg.at(17) = 0;
  return jpeg;
}

const Bytes& JpegOf(const Source& source) {
  static std::map<std::string, Bytes> made;
  Bytes& bytes = made[source.name];
  if (bytes.empty()) {
    bytes = source.ink != kNoInk ? MakeInkJpeg(source)
                                 : MakeJpeg(source.width, source.height, source.cjpeg, source.gray);
  }
  return bytes;
}

class OracleDecode : public ::testing::TestWithParam<std::tuple<Source, Mode>> {};

TEST_P(OracleDecode, MatchesDjpeg) {
  const auto& [source, mode] = GetParam();
  if (source.ink != kNoInk && !HaveImageMagick()) GTEST_SKIP() << "no ImageMagick's convert";
  const TJPEGDefaults& options = mode.options;
  ScopedDefaults defaults(options);
  TJPEGImage picture;
  Load(picture, JpegOf(source));
  TBitmap& bitmap = *GetDecodedBitmap(picture);
  const bool mapped = options.BitmapDepth == bd8Bit || options.GrayOutput || source.gray;
  EXPECT_EQ(bitmap.GetPixelFormat(), mapped ? pf8bit : pf24bit);
  if (mapped) {
    EXPECT_LE(GetPaletteEntries(bitmap.GetPalette(), 0, 256, nullptr), 236u);
  }
  if (source.ink == kNoInk) {
    ExpectSameColours(Djpeg(JpegOf(source), DjpegOptions(options, source.gray)), Resolve(bitmap));
    return;
  }
  // djpeg turns four components into colour only. The decoder then takes gray levels of the
  // library's luminance (236 of them), or a 6 x 6 x 6 colour cube with ordered dither, so that
  // each component lies within one cube step (51) of the colour.
  Image expected = Djpeg(JpegOf(source), DjpegOptions({.DecodeSpeed = options.DecodeSpeed,
                                                       .ShrinkFactor = options.ShrinkFactor}));
  for (std::size_t i = 0; options.GrayOutput && i < expected.rgb.size(); i += 3) {
    const unsigned y = (19595u * expected.rgb[i] + 38470u * expected.rgb[i + 1] +
                        7471u * expected.rgb[i + 2] + 32768u) >>
                       16;
    expected.rgb[i] = expected.rgb[i + 1] = expected.rgb[i + 2] = static_cast<std::uint8_t>(y);
  }
  const Image actual = Resolve(bitmap);
  ASSERT_EQ(actual.rgb.size(), expected.rgb.size());
  int worst = 0;
  for (std::size_t i = 0; i < actual.rgb.size(); ++i) {
    worst = std::max(worst, std::abs(actual.rgb[i] - expected.rgb[i]));
  }
  EXPECT_LE(worst, options.GrayOutput ? 1 : mapped ? 50 : 0);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, OracleDecode,
                         ::testing::Combine(::testing::ValuesIn(kSources),
                                            ::testing::ValuesIn(kModes)),
                         [](const auto& test) {
                           return std::string(std::get<0>(test.param).name) + "_" +
                                  std::get<1>(test.param).name;
                         });

// A palette the picture holds is the map an 8-bit decode maps to, as djpeg's -map; where the
// decoder cannot map to it (grayscale output, or the final pass of progressive display building
// a map of its own), the bitmap shows the decoder's own palette, as a decode without one does.
class HeldPaletteDecode : public PaletteLeakCheck {};

TEST_F(HeldPaletteDecode, ColoursAreThoseOfTheMapTheDecoderUsed) {
  TempDir dir;
  std::string map = "P6\n16 1\n255\n";
  for (int i = 0; i < 16; ++i) map.append(3, static_cast<char>(i * 17));
  WriteFileBytes(dir.Path("map.ppm"), Bytes(map.begin(), map.end()));
  const struct {
    const char* cjpeg;
    bool grayOutput, showWhileLoading, mapsToHeld;
  } cases[] = {{"", false, false, true},
               {"", true, false, false},
               {"-progressive", false, true, false},
               {"-progressive", true, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cjpeg + std::string(c.grayOutput ? " gray" : " colour"));
    const TJPEGDefaults options{
        .GrayOutput = c.grayOutput, .BitmapDepth = bd8Bit, .ShowWhileLoading = c.showWhileLoading};
    ScopedDefaults defaults(options);
    const Bytes jpeg = MakeJpeg(45, 33, c.cjpeg);
    TJPEGImage picture;
    const HPALETTE held = GrayPalette(16);
    picture.SetPalette(held);
    const std::string heldMap = c.mapsToHeld ? " -map " + dir.Quoted("map.ppm") : "";
    Load(picture, jpeg);
    ExpectSameColours(Djpeg(jpeg, DjpegOptions(options) + heldMap),
                      Resolve(*GetDecodedBitmap(picture)));
    EXPECT_EQ(picture.HeldPaletteHandle(), held);
  }
}

}  // namespace
