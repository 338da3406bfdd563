// `talvesk-jpeg encode IN.bmp OUT.jpg [options]`: compresses a BMP file (1, 4, 8, 24 or 32 bits
// per pixel, either row order) the way a picture with those options saves its bitmap.
#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/command_line.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/progress_display.h"
#include "tools/talvesk-jpeg/standard_streams.h"

namespace {

constexpr OptionHelp kOptions[] = {
    {"--quality", "1-100", "JPEG quality (default 90)"},
    {"--gray", nullptr, "save shades of gray"},
    {"--progressive", nullptr, "save a progressive JPEG file"},
    {"--quiet", nullptr, "show no progress bar"},
};

}  // namespace

const CommandHelp kEncodeHelp = {
    "encode", "IN.bmp OUT.jpg", 2,
    "compress a 1, 4, 8, 24 or 32-bit BMP file as a picture saves its bitmap", kOptions};

int RunEncode(std::span<const std::string> arguments) {
  TJPEGDefaults options;
  options.SaveQuality = 90;
  ProgressChoice progress;
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
      return progress.Apply(option, false);
    }
    return true;
  };
  return RunCommand(arguments, kEncodeHelp, applyOption, [&](auto files) {
    TBitmap bitmap;
    LoadGraphic(bitmap, *files[0]);
    JpegDefaultOptions = options;
    ProgressDisplay display(progress, "encoding");
    TJPEGImage picture;
    display.Watch(picture);
    picture.Assign(&bitmap);
    SaveGraphic(picture, *files[1]);
  });
}
