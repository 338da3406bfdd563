// The built-in resources, checked against their file formats, ImageMagick and the framework's
// own bitmap reader.
#include "launcher/resources.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/classes/stream.h"
#include "framework/forms/layout.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/picture.h"
#include "framework/system/exceptions.h"
#include "launcher/icon.h"
#include "tests/support/files.h"
#include "tests/support/shell.h"
#include "tests/support/temp_dir.h"

namespace {

std::string CommandOutput(const std::string& command) {
  std::string output;
  RunShell(command, &output);
  return output;
}

TEST(PlaceholderPicture, PictureDataHoldsA16ColourBmpOfRedTextOnBlack) {
  const auto bytes = PlaceholderBitmapBytes();
  const AnsiString data = PlaceholderPictureData();
  ASSERT_EQ(data.size(), 1 + 7 + 4 + 5998u);
  EXPECT_EQ(data.substr(0, 12), AnsiString("\x07TBitmap\x6E\x17\0\0", 12));
  EXPECT_TRUE(data.substr(12) == AnsiString(bytes.begin(), bytes.end()));

  TMemoryStream stream;
  stream.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  stream.SetPosition(0);
  TPicture picture;
  picture.ReadData(stream);
  EXPECT_EQ(stream.GetPosition(), static_cast<std::int64_t>(data.size()));
  auto* bitmap = dynamic_cast<TBitmap*>(picture.Graphic());
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->GetPixelFormat(), pf4bit);
  ASSERT_EQ(bitmap->GetWidth(), 105);
  ASSERT_EQ(bitmap->GetHeight(), 105);

  int red = 0;
  for (int y = 0; y < 105; ++y) {
    const std::uint8_t* row = bitmap->ScanLine(y);
    for (int x = 0; x < 105; ++x) {
      const TColor colour = bitmap->PaletteColor(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
      ASSERT_TRUE(colour == clBlack || colour == RGB(255, 0, 0)) << x << "," << y;
      red += colour != clBlack;
    }
  }
  // Two words of text: a fair share of the tile, far from all of it.
  EXPECT_GT(red, 250);
  EXPECT_LT(red, 105 * 105 / 4);
}

TEST(PlaceholderPicture, ImageMagickReadsTheSameFile) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  TempDir dir;
  const auto path = dir.Path("placeholder.bmp");
  WriteFileBytes(path, PlaceholderBitmapBytes());
  // Resolution in pixels per centimetre, times 100: pixels per metre.
  const std::string described = CommandOutput(
      "identify -format '%m %w %h %z %k %[units] %[fx:round(resolution.x*100)] "
      "%[fx:round(resolution.y*100)]' " +
      path.string() + " 2>&1");
  EXPECT_EQ(described, "BMP3 105 105 4 2 PixelsPerCentimeter 3780 3780");
}

// The window layout is edited as text; its six tiles must carry exactly the built-in picture.
TEST(PlaceholderPicture, WindowLayoutCarriesItInEveryTile) {
  const std::string layout = ReadFileText(TALVESK_SOURCE_DIR "/launcher/Unit1.layout");
  ASSERT_FALSE(layout.empty()) << "the window layout is missing";
  int tiles = 0;
  for (const TLayoutObject& control : ParseLayout(layout).children) {
    for (const TLayoutProperty& property : control.properties) {
      if (property.name != "Picture.Data") continue;
      EXPECT_TRUE(property.value.text == PlaceholderPictureData())
          << control.name << " carries another picture; regenerate it with talvesk-resgen "
          << "layout-hex";
      ++tiles;
    }
  }
  EXPECT_EQ(tiles, 6);
}

std::uint8_t Alpha(std::uint32_t argb) { return static_cast<std::uint8_t>(argb >> 24); }

TEST(ProgramIcon, HoldsEightDiscImages) {
  const std::vector<TIconImage> images = DecodeIcon(IconBytes());
  const std::array<int, 8> sizes = {16, 24, 32, 48, 64, 72, 96, 128};
  ASSERT_EQ(images.size(), sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const TIconImage& image = images[i];
    const int n = sizes[i];
    SCOPED_TRACE("size " + std::to_string(n));
    ASSERT_EQ(image.width, n);
    ASSERT_EQ(image.height, n);
    auto at = [&](int x, int y) { return image.argb[static_cast<std::size_t>(y * n + x)]; };
    const std::array<std::pair<int, int>, 4> corners = {
        {{0, 0}, {n - 1, 0}, {0, n - 1}, {n - 1, n - 1}}};
    for (auto [x, y] : corners) EXPECT_EQ(Alpha(at(x, y)), 0) << "corner " << x << "," << y;
    if (n >= 32) {
      EXPECT_EQ(Alpha(at(n / 2, n / 2)), 0) << "hole";
    }
    // Anti-aliased rim: some partly transparent pixels.
    int partial = 0;
    for (std::uint32_t p : image.argb) partial += Alpha(p) > 0 && Alpha(p) < 255;
    EXPECT_GT(partial, 0);
  }
}

// ImageMagick decodes the icon file and the theme PNGs on its own; all must match.
TEST(ProgramIcon, ImageMagickSeesTheSamePixelsInTheIconAndThePngs) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  const std::vector<TIconImage> images = DecodeIcon(IconBytes());
  TempDir dir;
  const auto ico = dir.Path("talvesk.ico");
  WriteFileBytes(ico, IconBytes());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const TIconImage& image = images[i];
    SCOPED_TRACE("size " + std::to_string(image.width));
    std::string expected;
    for (std::uint32_t p : image.argb) {
      for (int shift : {16, 8, 0, 24}) expected += static_cast<char>((p >> shift) & 0xFF);
    }
    const std::string fromIco = CommandOutput("convert '" + ico.string() + "[" + std::to_string(i) +
                                              "]' -depth 8 rgba:- 2>/dev/null");
    EXPECT_TRUE(fromIco == expected) << "icon file decoded differently";
    const std::string size = std::to_string(image.width);
    const std::string png = std::string(TALVESK_SOURCE_DIR) + "/launcher/resources/icons/" + size +
                            "x" + size + "/talvesk.png";
    const std::string fromPng = CommandOutput("convert '" + png + "' -depth 8 rgba:- 2>/dev/null");
    EXPECT_TRUE(fromPng == expected) << png << " differs from the icon file";
  }
}

TEST(ProgramIcon, DamagedFilesAreRefused) {
  const auto bytes = IconBytes();
  for (std::size_t length : {std::size_t{0}, std::size_t{5}, std::size_t{20}, std::size_t{134},
                             std::size_t{300}, bytes.size() - 1}) {
    EXPECT_THROW(DecodeIcon(bytes.first(length)), EInvalidGraphic) << "cut at " << length;
  }
  std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  copy[6 + 12 + 3] = 0x7F;  // first image's offset far beyond the file
  EXPECT_THROW(DecodeIcon(copy), EInvalidGraphic);
  copy.assign(bytes.begin(), bytes.end());
  copy[6 + 16 * 8 + 14] = 8;  // first image claims 8 bits per pixel
  EXPECT_THROW(DecodeIcon(copy), EInvalidGraphic);
}

// The committed files must be what the generator makes now, or a change to it was not applied.
// The PNGs are compared by their pixels: another libpng may compress them differently.
TEST(ResourceGenerator, ReproducesTheCommittedFiles) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  const std::filesystem::path generator =
      std::filesystem::path(TALVESK_BINARY_DIR) / "tools" / "talvesk-resgen";
  if (!std::filesystem::exists(generator)) GTEST_SKIP() << "talvesk-resgen is not built";
  TempDir dir;
  const auto out = dir.Path("resources");
  ASSERT_EQ(RunShell(generator.string() + " all " + out.string()), 0);
  const std::filesystem::path committed =
      std::filesystem::path(TALVESK_SOURCE_DIR) / "launcher" / "resources";
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
    if (!entry.is_regular_file()) continue;
    const auto relative = std::filesystem::relative(entry.path(), out);
    const bool png = relative.extension() == ".png";
    auto content = [&](const std::filesystem::path& path) {
      return png ? CommandOutput("convert '" + path.string() + "' -depth 8 rgba:- 2>/dev/null")
                 : ReadFileText(path);
    };
    const std::string made = content(entry.path());
    EXPECT_FALSE(made.empty()) << relative;
    EXPECT_TRUE(made == content(committed / relative))
        << relative << " differs: run scripts/make-resources";
    ++files;
  }
  EXPECT_EQ(files, 10);  // the picture, the icon file and eight PNGs
}

}  // namespace
