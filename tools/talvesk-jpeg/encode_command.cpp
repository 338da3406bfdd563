// `talvesk-jpeg encode IN.bmp OUT.jpg [options]`: compresses a BMP file (1, 4, 8, 24 or 32 bits
// per pixel, either row order) the way a picture with those options saves its bitmap.
#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/file_command.h"

namespace {

constexpr const char* kUsage =
    "usage: talvesk-jpeg encode IN.bmp OUT.jpg [--quality 1-100] [--gray] [--progressive]\n";

}  // namespace

int RunEncode(std::span<const std::string> arguments) {
  TJPEGDefaults options;
  options.SaveQuality = 90;
  const auto applyOption = [&](const std::string& option, const OptionValue& value) {
    if (option == "--quality") {
      int quality = 0;
      if (!ParseNumber(value(), quality) || quality < 1 || quality > 100) {
        return false;
      }
      options.SaveQuality = static_cast<TJPEGQualityRange>(quality);
      return true;
    }
    if (option == "--gray") {
      options.GrayOutput = true;
    } else if (option == "--progressive") {
      options.SaveProgressive = true;
    } else {
      return false;
    }
    return true;
  };
  return RunFileCommand(arguments, kUsage, applyOption,
                        [&](const std::string& in, const std::string& out) {
                          TBitmap bitmap;
                          bitmap.LoadFromFile(in);
                          JpegDefaultOptions = options;
                          TJPEGImage picture;
                          picture.Assign(&bitmap);
                          picture.SaveToFile(out);
                        });
}
