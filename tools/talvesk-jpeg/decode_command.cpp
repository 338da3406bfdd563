// `talvesk-jpeg decode IN.jpg OUT.bmp [options]`: decodes a JPEG file the way a picture with
// those options draws it, and saves the bitmap as a BMP file (24-bit, or 8-bit with its palette).
#include <cstdio>

#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/file_command.h"

namespace {

constexpr const char* kUsage =
    "usage: talvesk-jpeg decode IN.jpg OUT.bmp [--depth 24|8] [--gray] [--shrink 1|2|4|8] "
    "[--fast] [--no-smoothing] [--show-while-loading] [--progress]\n";

const char* StageName(TProgressStage stage) {
  switch (stage) {
    case psStarting:
      return "starting";
    case psRunning:
      return "running";
    case psEnding:
      return "ending";
  }
  return "unknown";
}

void PrintProgress(TObject*, TProgressStage stage, std::uint8_t percent, bool redraw,
                   const TRect& rect, const AnsiString&) {
  std::fprintf(stderr, "%s %d %d %d %d %d %d\n", StageName(stage), percent, redraw ? 1 : 0,
               rect.Left, rect.Top, rect.Right, rect.Bottom);
}

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

int RunDecode(std::span<const std::string> arguments) {
  TJPEGDefaults options;
  bool reportProgress = false;
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
    } else if (option == "--progress") {
      reportProgress = true;
    } else {
      return false;
    }
    return true;
  };
  return RunFileCommand(arguments, kUsage, applyOption,
                        [&](const std::string& in, const std::string& out) {
                          JpegDefaultOptions = options;
                          TJPEGImage picture;
                          if (reportProgress) picture.OnProgress = PrintProgress;
                          picture.LoadFromFile(in);
                          GetDecodedBitmap(picture)->SaveToFile(out);
                        });
}
