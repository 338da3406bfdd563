// `talvesk-jpeg decode IN.jpg OUT.bmp [options]`: decodes a JPEG file the way a picture with
// those options draws it, and saves the bitmap as a BMP file (24-bit, or 8-bit with its palette).
#include <charconv>
#include <cstdio>
#include <string_view>

#include "framework/system/exceptions.h"
#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/commands.h"

namespace {

constexpr const char* kUsage =
    "usage: talvesk-jpeg decode IN.jpg OUT.bmp [--depth 24|8] [--gray] [--shrink 1|2|4|8] "
    "[--fast] [--no-smoothing] [--show-while-loading] [--progress]\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

bool ParseNumber(std::string_view text, int& value) {
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

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

}  // namespace

int RunDecode(std::span<const std::string> arguments) {
  TJPEGDefaults options;
  options.BitmapDepth = bd24Bit;
  bool reportProgress = false;
  const std::string* files[2] = {nullptr, nullptr};
  std::size_t fileCount = 0;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    int number = 0;
    if (argument == "--depth") {
      if (!hasValue || !ParseNumber(arguments[++i], number) || (number != 24 && number != 8)) {
        return Usage();
      }
      options.BitmapDepth = number == 8 ? bd8Bit : bd24Bit;
    } else if (argument == "--shrink") {
      if (!hasValue || !ParseNumber(arguments[++i], number)) return Usage();
      switch (number) {
        case 1:
          options.ShrinkFactor = sfFull;
          break;
        case 2:
          options.ShrinkFactor = sfHalf;
          break;
        case 4:
          options.ShrinkFactor = sfQuarter;
          break;
        case 8:
          options.ShrinkFactor = sfEighth;
          break;
        default:
          return Usage();
      }
    } else if (argument == "--gray") {
      options.GrayOutput = true;
    } else if (argument == "--fast") {
      options.DecodeSpeed = dsBestSpeed;
    } else if (argument == "--no-smoothing") {
      options.BlockSmoothing = false;
    } else if (argument == "--show-while-loading") {
      options.ShowWhileLoading = true;
    } else if (argument == "--progress") {
      reportProgress = true;
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
    JpegDefaultOptions = options;
    TJPEGImage picture;
    if (reportProgress) picture.OnProgress = PrintProgress;
    picture.LoadFromFile(*files[0]);
    GetDecodedBitmap(picture)->SaveToFile(*files[1]);
    return kExitOk;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return kExitFailure;
  }
}
