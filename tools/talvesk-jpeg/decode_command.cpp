// `talvesk-jpeg decode IN.jpg OUT.bmp [options]`: decodes a JPEG file the way a picture with
// those options draws it, and saves the bitmap as a BMP file (24-bit, or 8-bit with its palette).
#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/command_line.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/progress_display.h"
#include "tools/talvesk-jpeg/standard_streams.h"

namespace {

constexpr OptionHelp kOptions[] = {
    {"--depth", "24|8", "bits per pixel of the bitmap; 8 gives it a palette (default 24)"},
    {"--gray", nullptr, "decode to shades of gray"},
    {"--shrink", "1|2|4|8", "scale the picture down by this factor (default 1)"},
    {"--fast", nullptr, "decode faster, less exactly"},
    {"--no-smoothing", nullptr, "no block smoothing of a progressive picture's early passes"},
    {"--show-while-loading", nullptr, "decode a progressive picture pass by pass"},
    {"--progress", nullptr,
     "print each progress notification on stderr as a line: STAGE PERCENT REDRAW LEFT TOP "
     "RIGHT BOTTOM"},
    {"--quiet", nullptr, "show no progress bar"},
};

bool ParseShrink(const std::string* text, TJPEGScale& factor) {
  int denominator = 0;
  if (!ParseNumber(text, denominator)) return false;
  for (const TJPEGScale scale : {sfFull, sfHalf, sfQuarter, sfEighth}) {
    if (denominator == 1 << scale) {
      factor = scale;
      return true;
    }
  }
  return false;
}

}  // namespace

const CommandHelp kDecodeHelp = {"decode", "IN.jpg OUT.bmp", 2,
                                 "decode as a picture draws it and save the bitmap as a BMP file",
                                 kOptions};

int RunDecode(std::span<const std::string> arguments) {
  TJPEGDefaults options;
  ProgressChoice progress;
  const auto applyOption = [&](const std::string& option, const OptionValue& value) {
    if (option == "--depth") {
      int depth = 0;
      if (!ParseNumber(value(), depth) || (depth != 24 && depth != 8)) {
        return false;
      }
      options.BitmapDepth = depth == 8 ? bd8Bit : bd24Bit;
      return true;
    }
    if (option == "--shrink") return ParseShrink(value(), options.ShrinkFactor);
    if (option == "--gray") {
      options.GrayOutput = true;
    } else if (option == "--fast") {
      options.DecodeSpeed = dsBestSpeed;
    } else if (option == "--no-smoothing") {
      options.BlockSmoothing = false;
    } else if (option == "--show-while-loading") {
      options.ShowWhileLoading = true;
    } else {
      return progress.Apply(option, true);
    }
    return true;
  };
  return RunCommand(arguments, kDecodeHelp, applyOption, [&](auto files) {
    JpegDefaultOptions = options;
    ProgressDisplay display(progress, "decoding");
    TJPEGImage picture;
    display.Watch(picture);
    LoadGraphic(picture, *files[0]);
    SaveGraphic(*GetDecodedBitmap(picture), *files[1]);
  });
}
