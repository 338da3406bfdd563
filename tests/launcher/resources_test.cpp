// The built-in resources, checked against ImageMagick and the files the generator makes.
#include "launcher/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/system/exceptions.h"
#include "launcher/icon.h"
#include "tests/support/files.h"
#include "tests/support/shell.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string CommandOutput(const std::string& command) {
  std::string output;
  RunShell(command, &output);
  return output;
}

// Its pixels show in the window's tiles; here the file itself: a 16-colour BMP of two colours.
TEST(PlaceholderPicture, ImageMagickReadsItAsA105PixelSquareOfTwoColours) {
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

std::uint8_t Alpha(std::uint32_t argb) { return static_cast<std::uint8_t>(argb >> 24); }

// ImageMagick decodes the icon file on its own and must see the same pixels; and every
// size must look like a disc: transparent corners, a hole from 32 pixels up, an anti-aliased rim.
TEST(ProgramIcon, ImageMagickSeesTheSameDiscsInTheIconFile) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  const std::vector<TIconImage> images = DecodeIcon(IconBytes());
  TempDir dir;
  const auto ico = dir.Path("talvesk.ico");
  WriteFileBytes(ico, IconBytes());
  ASSERT_EQ(images.size(), 8u);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const TIconImage& image = images[i];
    const int n = image.width;
    SCOPED_TRACE("size " + std::to_string(n));
    ASSERT_EQ(image.height, n);
    auto alphaAt = [&](int x, int y) { return Alpha(image.argb[std::size_t(y * n + x)]); };
    EXPECT_EQ(alphaAt(0, 0) + alphaAt(n - 1, 0) + alphaAt(0, n - 1) + alphaAt(n - 1, n - 1), 0);
    if (n >= 32) {
      EXPECT_EQ(alphaAt(n / 2, n / 2), 0) << "hole";
    }
    EXPECT_TRUE(std::any_of(image.argb.begin(), image.argb.end(),
                            [](std::uint32_t p) { return Alpha(p) > 0 && Alpha(p) < 255; }));

    std::string expected;
    for (std::uint32_t p : image.argb) {
      for (int shift : {16, 8, 0, 24}) expected += static_cast<char>((p >> shift) & 0xFF);
    }
    const std::string fromIco = CommandOutput("convert '" + ico.string() + "[" + std::to_string(i) +
                                              "]' -depth 8 rgba:- 2>/dev/null");
    EXPECT_TRUE(fromIco == expected) << "icon file decoded differently";
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
TEST(ResourceGenerator, ReproducesTheCommittedFiles) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  const fs::path generator = fs::path(TALVESK_BINARY_DIR) / "tools" / "talvesk-resgen";
  if (!fs::exists(generator)) GTEST_SKIP() << "talvesk-resgen is not built";
  TempDir dir;
  const auto out = dir.Path("resources");
  ASSERT_EQ(RunShell(generator.string() + " all " + out.string()), 0);
  const fs::path committed = fs::path(TALVESK_SOURCE_DIR) / "launcher" / "resources";
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    if (!entry.is_regular_file()) continue;
    const auto relative = fs::relative(entry.path(), out);
    const std::string made = ReadFileText(entry.path());
    EXPECT_FALSE(made.empty()) << relative;
    EXPECT_TRUE(made == ReadFileText(committed / relative))
        << relative << " differs: run scripts/make-resources";
    ++files;
  }
  EXPECT_EQ(files, 2);  // the picture and the icon file
}

}  // namespace
