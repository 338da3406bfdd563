// Decoded pixels against djpeg, which runs the same library with the equivalent options: every
// complete file must decode to exactly the same colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "framework/graphics/palette.h"
#include "jpeg/codec.h"
#include "tests/jpeg/test_support.h"

namespace {

TBitmap& Decode(TJPEGImage& picture, const Bytes& jpeg) {
  Load(picture, jpeg);
  return *GetDecodedBitmap(picture);
}

struct Source {
  const char* name;
  int width, height;
  const char* cjpeg;
  bool gray;
};

const Source kSources[] = {
    {"Sampled420", 61, 47, "", false},
    {"Sampled422", 61, 47, "-sample 2x1", false},
    {"Sampled444", 61, 47, "-sample 1x1", false},
    {"Grayscale", 61, 47, "", true},
    {"Progressive", 61, 47, "-progressive", false},
    {"GrayProgressive", 40, 30, "-progressive", true},
    {"Restarts", 61, 47, "-restart 1", false},
    {"Arithmetic", 61, 47, "-arithmetic", false},
    {"Size1x1", 1, 1, "", false},
    {"Size1x37", 1, 37, "", false},
    {"Size37x1", 37, 1, "-progressive", false},
    {"Size17x13", 17, 13, "", false},
};

struct Mode {
  const char* name;
  TJPEGDefaults options;
};

const Mode kModes[] = {
    {"Colour24", {}},
    {"Colour8", {.BitmapDepth = bd8Bit}},
    {"GrayOutput", {.GrayOutput = true}},
    {"Fast24", {.DecodeSpeed = dsBestSpeed}},
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

const Bytes& JpegOf(const Source& source) {
  static std::map<std::string, Bytes> made;
  Bytes& bytes = made[source.name];
  if (bytes.empty()) bytes = MakeJpeg(source.width, source.height, source.cjpeg, source.gray);
  return bytes;
}

class OracleDecode : public ::testing::TestWithParam<std::tuple<Source, Mode>> {};

TEST_P(OracleDecode, MatchesDjpeg) {
  const auto& [source, mode] = GetParam();
  ScopedDefaults defaults(mode.options);
  TJPEGImage picture;
  TBitmap& bitmap = Decode(picture, JpegOf(source));
  const bool mapped = mode.options.BitmapDepth == bd8Bit || mode.options.GrayOutput || source.gray;
  EXPECT_EQ(bitmap.GetPixelFormat(), mapped ? pf8bit : pf24bit);
  if (mapped) {
    EXPECT_LE(GetPaletteEntries(bitmap.GetPalette(), 0, 256, nullptr), 236u);
  }
  ExpectSameColours(Djpeg(JpegOf(source), DjpegOptions(mode.options, source.gray)),
                    Resolve(bitmap));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, OracleDecode,
                         ::testing::Combine(::testing::ValuesIn(kSources),
                                            ::testing::ValuesIn(kModes)),
                         [](const auto& test) {
                           return std::string(std::get<0>(test.param).name) + "_" +
                                  std::get<1>(test.param).name;
                         });

// Four-component files written the way Adobe applications write them (inverted CMYK, or YCCK).
Bytes MakeInkJpeg(J_COLOR_SPACE storedAs, bool progressive) {
  const int width = 29, height = 19;
  jpeg_compress_struct codec{};
  jpeg_error_mgr errors{};
  codec.err = jpeg_std_error(&errors);
  jpeg_create_compress(&codec);
  unsigned char* output = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&codec, &output, &size);
  codec.image_width = width;
  codec.image_height = height;
  codec.input_components = 4;
  codec.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&codec);
  jpeg_set_colorspace(&codec, storedAs);
  if (progressive) jpeg_simple_progression(&codec);
  jpeg_start_compress(&codec, TRUE);
  Bytes row(width * 4);
  while (codec.next_scanline < codec.image_height) {
    const unsigned y = codec.next_scanline;
    for (int x = 0; x < width; ++x) {
      row[x * 4 + 0] = static_cast<std::uint8_t>(255 - x * 8);
      row[x * 4 + 1] = static_cast<std::uint8_t>(255 - y * 12);
      row[x * 4 + 2] = static_cast<std::uint8_t>(128 + x * 4);
      row[x * 4 + 3] = static_cast<std::uint8_t>(255 - (x + y) * 3);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&codec, rows, 1);
  }
  jpeg_finish_compress(&codec);
  jpeg_destroy_compress(&codec);
  Bytes bytes(output, output + size);
  std::free(output);
  return bytes;
}

// Four-component files become djpeg's colours, then what the options ask for: gray levels of
// the library's luminance (236 of them), or a 6 x 6 x 6 colour cube with ordered dither, so that
// each component lies within one cube step (51) of the colour.
TEST(OracleInkDecode, CmykAndYcckBecomeColourThenGrayOrPaletteAsAsked) {
  const struct {
    const char* name;
    TJPEGDefaults options;
    TPixelFormat format;
    int tolerance;
  } modes[] = {{"24-bit", {}, pf24bit, 0},
               {"gray", {.GrayOutput = true}, pf8bit, 1},
               {"8-bit", {.BitmapDepth = bd8Bit}, pf8bit, 50},
               {"8-bit fast", {.DecodeSpeed = dsBestSpeed, .BitmapDepth = bd8Bit}, pf8bit, 50}};
  for (const J_COLOR_SPACE storedAs : {JCS_CMYK, JCS_YCCK}) {
    for (const bool progressive : {false, true}) {
      const Bytes jpeg = MakeInkJpeg(storedAs, progressive);
      for (const auto& mode : modes) {
        SCOPED_TRACE(testing::Message()
                     << storedAs << " progressive " << progressive << " " << mode.name);
        TJPEGDefaults options = mode.options;
        options.ShowWhileLoading = progressive;
        ScopedDefaults defaults(options);
        TJPEGImage picture;
        TBitmap& bitmap = Decode(picture, jpeg);
        ASSERT_EQ(bitmap.GetPixelFormat(), mode.format);
        if (mode.format == pf8bit) {
          EXPECT_LE(GetPaletteEntries(bitmap.GetPalette(), 0, 256, nullptr), 236u);
        }
        Image expected =
            Djpeg(jpeg, options.DecodeSpeed == dsBestSpeed ? "-dct fast" : "-dct float");
        if (options.GrayOutput) {
          for (std::size_t i = 0; i < expected.rgb.size(); i += 3) {
            const unsigned y = (19595u * expected.rgb[i] + 38470u * expected.rgb[i + 1] +
                                7471u * expected.rgb[i + 2] + 32768u) >>
                               16;
            expected.rgb[i] = expected.rgb[i + 1] = expected.rgb[i + 2] =
                static_cast<std::uint8_t>(y);
          }
        }
        const Image actual = Resolve(bitmap);
        ASSERT_EQ(actual.rgb.size(), expected.rgb.size());
        int worst = 0;
        for (std::size_t i = 0; i < actual.rgb.size(); ++i) {
          worst = std::max(worst, std::abs(actual.rgb[i] - expected.rgb[i]));
        }
        EXPECT_LE(worst, mode.tolerance);
      }
    }
  }
}

// Where the decoder cannot map to a palette the picture holds, the bitmap shows the decoder's
// own palette, so the colours are those of a decode without a held palette.
class HeldPaletteDecode : public PaletteLeakCheck {};

TEST_F(HeldPaletteDecode, IndicesNotReferringToTheHeldPaletteShowTheDecodersColours) {
  const struct {
    const char* cjpeg;
    bool grayOutput;
    bool showWhileLoading;
  } cases[] = {{"", true, false}, {"-progressive", false, true}, {"-progressive", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cjpeg + std::string(c.grayOutput ? " gray" : " colour"));
    const TJPEGDefaults options{
        .GrayOutput = c.grayOutput, .BitmapDepth = bd8Bit, .ShowWhileLoading = c.showWhileLoading};
    ScopedDefaults defaults(options);
    const Bytes jpeg = MakeJpeg(45, 33, c.cjpeg);
    TJPEGImage picture;
    picture.SetPalette(GrayPalette(16));
    ExpectSameColours(Djpeg(jpeg, DjpegOptions(options)), Resolve(Decode(picture, jpeg)));
    EXPECT_NE(picture.HeldPaletteHandle(), 0u);
  }
}

}  // namespace
