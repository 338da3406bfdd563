// Decoded pixels against djpeg, which runs the same library with the equivalent options: every
// complete file must decode to exactly the same colours.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

#include "framework/graphics/palette.h"
#include "jpeg/codec.h"
#include "tests/jpeg/test_support.h"

namespace {

struct Image {
  int width = 0;
  int height = 0;
  Bytes rgb;  // R,G,B per pixel, rows top to bottom
};

// The colours a bitmap shows: 24-bit pixels, or 8-bit indices resolved through its palette.
Image Resolve(TBitmap& bitmap) {
  Image image{bitmap.GetWidth(), bitmap.GetHeight(), {}};
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < image.width; ++x) {
      if (bitmap.GetPixelFormat() == pf8bit) {
        const TColor color = bitmap.PaletteColor(row[x]);
        image.rgb.insert(image.rgb.end(), {GetRValue(color), GetGValue(color), GetBValue(color)});
      } else {
        image.rgb.insert(image.rgb.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
      }
    }
  }
  return image;
}

// djpeg's output, read back as a BMP file.
Image Djpeg(const Bytes& jpeg, const std::string& options) {
  TempDir dir;
  WriteFileBytes(dir.Path("in.jpg"), jpeg);
  const std::string command = "djpeg " + options + " -bmp -outfile '" +
                              dir.Path("out.bmp").string() + "' '" + dir.Path("in.jpg").string() +
                              "'";
  if (RunShell(command) != 0) throw std::runtime_error("djpeg failed: " + command);
  TBitmap bitmap;
  bitmap.LoadFromFile(dir.Path("out.bmp").string());
  return Resolve(bitmap);
}

// djpeg's switches for what a picture with these options does.
std::string DjpegOptions(const TJPEGDefaults& options, bool grayFile) {
  const bool fast = options.DecodeSpeed == dsBestSpeed;
  std::string result = fast ? "-dct fast" : "-dct float";
  if (options.GrayOutput) result += " -grayscale";
  if (options.BitmapDepth == bd8Bit || options.GrayOutput || grayFile) {
    result += " -colors 236";
    if (fast) result += " -dither ordered -onepass";
  }
  if (options.ShrinkFactor != sfFull)
    result += " -scale 1/" + std::to_string(1 << options.ShrinkFactor);
  return result;
}

TBitmap& Decode(TJPEGImage& picture, const Bytes& jpeg) {
  picture.LoadFromStream(*StreamOf(jpeg));
  return *GetDecodedBitmap(picture);
}

void ExpectSameColours(const Image& expected, const Image& actual) {
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  std::size_t differing = 0, first = 0;
  for (std::size_t i = 0; i < expected.rgb.size(); ++i) {
    if (expected.rgb[i] != actual.rgb[i] && differing++ == 0) first = i;
  }
  EXPECT_EQ(differing, 0u) << "first at pixel " << first / 3 << " channel " << first % 3 << ": "
                           << int(actual.rgb[first]) << " instead of " << int(expected.rgb[first]);
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

TEST(OracleInkDecode, CmykAndYcckBecomeColourWhateverDepthAndGrayOutputSay) {
  for (const J_COLOR_SPACE storedAs : {JCS_CMYK, JCS_YCCK}) {
    for (const bool progressive : {false, true}) {
      const Bytes jpeg = MakeInkJpeg(storedAs, progressive);
      const Image expected = Djpeg(jpeg, "-dct float");
      for (const bool mappedOptions : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << storedAs << " progressive " << progressive << " mapped " << mappedOptions);
        TJPEGDefaults options;
        options.BitmapDepth = mappedOptions ? bd8Bit : bd24Bit;
        options.GrayOutput = mappedOptions;
        options.ShowWhileLoading = progressive;
        ScopedDefaults defaults(options);
        TJPEGImage picture;
        TBitmap& bitmap = Decode(picture, jpeg);
        EXPECT_EQ(bitmap.GetPixelFormat(), pf24bit);
        ExpectSameColours(expected, Resolve(bitmap));
      }
    }
  }
}

// Where the decoder cannot map to a palette the picture holds, the bitmap shows the decoder's
// own palette, so the colours are those of a decode without a held palette.
class HeldPaletteDecode : public PaletteLeakCheck {};

TEST_F(HeldPaletteDecode, IndicesNotReferringToTheHeldPaletteShowTheDecodersColours) {
  LOGPALETTE logical;
  logical.palNumEntries = 16;
  for (int i = 0; i < 16; ++i) logical.palPalEntry[i] = {std::uint8_t(i * 16), 0, 0, 0};
  const struct {
    const char* cjpeg;
    bool grayOutput;
    bool showWhileLoading;
  } cases[] = {{"", true, false}, {"-progressive", false, true}, {"-progressive", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cjpeg + std::string(c.grayOutput ? " gray" : " colour"));
    TJPEGDefaults options;
    options.BitmapDepth = bd8Bit;
    options.GrayOutput = c.grayOutput;
    options.ShowWhileLoading = c.showWhileLoading;
    ScopedDefaults defaults(options);
    const Bytes jpeg = MakeJpeg(45, 33, c.cjpeg);
    TJPEGImage picture;
    picture.SetPalette(CreatePalette(&logical));
    ExpectSameColours(Djpeg(jpeg, DjpegOptions(options, false)), Resolve(Decode(picture, jpeg)));
    EXPECT_NE(picture.HeldPaletteHandle(), 0u);
  }
}

TEST(ToolDecode, SavesWhatDjpegDecodesAndReportsProgress) {
  const std::string tool = "'" TALVESK_BINARY_DIR "/tools/talvesk-jpeg' decode ";
  TempDir dir;
  const Bytes jpeg = MakeJpeg(45, 33, "-progressive");
  WriteFileBytes(dir.Path("in.jpg"), jpeg);
  const std::string files =
      "'" + dir.Path("in.jpg").string() + "' '" + dir.Path("out.bmp").string() + "'";
  const std::pair<const char*, TJPEGDefaults> cases[] = {
      {"", {}},
      {"--depth 8 --show-while-loading", {.BitmapDepth = bd8Bit}},
      {"--gray --shrink 4", {.GrayOutput = true, .ShrinkFactor = sfQuarter}},
      {"--fast --depth 8 --no-smoothing", {.DecodeSpeed = dsBestSpeed, .BitmapDepth = bd8Bit}}};
  for (const auto& [arguments, options] : cases) {
    SCOPED_TRACE(arguments);
    ASSERT_EQ(RunShell(tool + files + " " + arguments), 0);
    TBitmap saved;
    saved.LoadFromFile(dir.Path("out.bmp").string());
    ExpectSameColours(Djpeg(jpeg, DjpegOptions(options, false)), Resolve(saved));
  }

  std::string progress;
  ASSERT_EQ(RunShell(tool + files + " --progress 2>&1", &progress), 0);
  EXPECT_EQ(progress.rfind("starting 0 0 0 0 0 0\n", 0), 0u) << progress;
  EXPECT_TRUE(progress.ends_with("\nending 100 1 0 0 0 0\n")) << progress;

  for (const char* bad : {"--depth 16", "--shrink 3", "--bogus", "--depth"}) {
    EXPECT_EQ(RunShell(tool + files + " " + bad + " 2>/dev/null"), 2) << bad;
  }
  WriteFileBytes(dir.Path("bad.jpg"), Bytes{'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'});
  std::string message;
  EXPECT_EQ(RunShell(tool + "'" + dir.Path("bad.jpg").string() + "' '" +
                         dir.Path("out.bmp").string() + "' 2>&1",
                     &message),
            1);
  EXPECT_EQ(message.rfind("JPEG error #", 0), 0u) << message;
}

}  // namespace
