#pragma once
// Helpers shared by the JPEG unit's tests: real JPEG files made by libjpeg-turbo's cjpeg from
// generated images, djpeg's decode of them, scoped defaults, and a palette leak check.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/classes/stream.h"
#include "framework/graphics/palette.h"
#include "framework/graphics/screen.h"
#include "jpeg/jpeg.h"
#include "tests/support/expect_message.h"
#include "tests/support/files.h"
#include "tests/support/gray_palette.h"
#include "tests/support/shell.h"
#include "tests/support/temp_dir.h"

// The built talvesk-jpeg, quoted for a shell command.
inline const std::string kTool = "'" TALVESK_BINARY_DIR "/tools/talvesk-jpeg' ";

// What cjpeg makes of an R,G,B image with the given options (e.g. "-progressive"); gray = true
// feeds it a PGM of the green channel.
Bytes Cjpeg(int width, int height, const Bytes& rgb, const std::string& options, bool gray);
// cjpeg's JPEG of a gradient image.
Bytes MakeJpeg(int width, int height, const std::string& cjpegOptions = "", bool gray = false);

// Colours of a decoded image, R,G,B per pixel, rows top to bottom.
struct Image {
  int width = 0;
  int height = 0;
  Bytes rgb;
};
// The colours a bitmap shows: 24-bit pixels, or 8-bit indices resolved through its palette.
Image Resolve(TBitmap& bitmap);
// djpeg's decode with the given options, read back as a BMP file.
Image Djpeg(const Bytes& jpeg, const std::string& options);
// djpeg's switches for what a picture with these options does to a colour (or gray) file.
std::string DjpegOptions(const TJPEGDefaults& options, bool grayFile = false);
void ExpectSameColours(const Image& expected, const Image& actual);

// A memory stream holding bytes, positioned at the start.
std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes);
// All bytes of a memory stream.
Bytes BytesOf(const TMemoryStream& stream);
inline void Load(TJPEGImage& picture, const Bytes& jpeg) {
  picture.LoadFromStream(*StreamOf(jpeg));
}
inline Bytes Save(TJPEGImage& picture) {
  TMemoryStream stream;
  picture.SaveToStream(stream);
  return BytesOf(stream);
}
// A 24-bit bitmap whose pixel (x, y) is B = x, G = y, R = x + y.
std::unique_ptr<TBitmap> PatternBitmap(int width, int height);

std::string JpegErrorText(int code);

// A shell command's exit status, and its standard output and error captured apart (in dir).
struct ShellRun {
  int status;
  std::string out, err;
};
ShellRun RunCapturing(const TempDir& dir, const std::string& command);

// Sets JpegDefaultOptions for a scope and restores the earlier values afterwards.
class ScopedDefaults {
 public:
  explicit ScopedDefaults(const TJPEGDefaults& options) : saved_(JpegDefaultOptions) {
    JpegDefaultOptions = options;
  }
  ~ScopedDefaults() { JpegDefaultOptions = saved_; }
  ScopedDefaults(const ScopedDefaults&) = delete;
  ScopedDefaults& operator=(const ScopedDefaults&) = delete;

 private:
  TJPEGDefaults saved_;
};

// Fixture base: every test ends with as many live palette handles as it started with, and on the
// real screen depth.
class PaletteLeakCheck : public ::testing::Test {
 protected:
  void SetUp() override { liveAtStart_ = GdiLiveObjectCount(); }
  void TearDown() override {
    SetEmulatedScreenDepth(0);
    EXPECT_EQ(GdiLiveObjectCount(), liveAtStart_) << "palette handles leaked or deleted twice";
  }

 private:
  int liveAtStart_ = 0;
};
