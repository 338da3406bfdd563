#pragma once
// Helpers shared by the JPEG unit's tests: real JPEG files made by libjpeg-turbo's cjpeg from
// generated images, scoped defaults, and a check that no palette handle leaks.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/classes/stream.h"
#include "jpeg/jpeg.h"

using Bytes = std::vector<std::uint8_t>;

// A temporary folder, removed with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path Path(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Runs a shell command; returns its exit status, and its standard output in *output when given.
int RunShell(const std::string& command, std::string* output = nullptr);

Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// A smooth colour test image, R,G,B per pixel, rows top to bottom.
Bytes GradientRgb(int width, int height);
// Writes a binary PPM (three channels) or PGM (gray = true: the green channel).
void WritePnm(const std::filesystem::path& path, int width, int height, const Bytes& rgb,
              bool gray);

// JPEG bytes made by cjpeg from a gradient image with the given command-line options
// (e.g. "-progressive", "-grayscale"); gray = true feeds a one-channel PGM.
Bytes MakeJpeg(int width, int height, const std::string& cjpegOptions = "", bool gray = false);

// A memory stream holding bytes, positioned at the start.
std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes);
// All bytes of a memory stream.
Bytes BytesOf(TMemoryStream& stream);

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
  void SetUp() override;
  void TearDown() override;

 private:
  int liveAtStart_ = 0;
};
