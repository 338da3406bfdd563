// `talvesk-jpeg encode IN.bmp OUT.jpg [options]`: compresses a BMP file (1, 4, 8, 24 or 32 bits
// per pixel, either row order) the way a picture with those options saves its bitmap.
#include <charconv>
#include <cstdio>
#include <string_view>

#include "framework/system/exceptions.h"
#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/commands.h"

namespace {

constexpr const char* kUsage =
    "usage: talvesk-jpeg encode IN.bmp OUT.jpg [--quality 1-100] [--gray] [--progressive]\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

bool ParseQuality(std::string_view text, int& value) {
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end && value >= 1 && value <= 100;
}

}  // namespace

int RunEncode(std::span<const std::string> arguments) {
  TJPEGDefaults options;
  options.SaveQuality = 90;
  const std::string* files[2] = {nullptr, nullptr};
  std::size_t fileCount = 0;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--quality") {
      int quality = 0;
      if (i + 1 >= arguments.size() || !ParseQuality(arguments[++i], quality)) return Usage();
      options.SaveQuality = static_cast<TJPEGQualityRange>(quality);
    } else if (argument == "--gray") {
      options.GrayOutput = true;
    } else if (argument == "--progressive") {
      options.SaveProgressive = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return Usage();
    } else if (fileCount < 2) {
      files[fileCount++] = &argument;
    } else {
      return Usage();
    }
  }
  if (fileCount != 2) return Usage();

  try {
    TBitmap bitmap;
    bitmap.LoadFromFile(*files[0]);
    JpegDefaultOptions = options;
    TJPEGImage picture;
    picture.Assign(&bitmap);
    picture.SaveToFile(*files[1]);
    return kExitOk;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return kExitFailure;
  }
}
