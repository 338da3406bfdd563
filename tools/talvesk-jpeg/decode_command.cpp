// `talvesk-jpeg decode IN.jpg OUT [options]`: decodes a JPEG file the way a picture with those
// options draws it, and saves the bitmap as a BMP, PPM/PGM or PNG file.
#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/command_line.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/diagnostics.h"
#include "tools/talvesk-jpeg/operand_files.h"
#include "tools/talvesk-jpeg/picture_files.h"
#include "tools/talvesk-jpeg/progress_display.h"

namespace {

constexpr OptionHelp kOptions[] = {
    {"--format", 0, kPictureFormatNames, "OUT's format, whatever its name says"},
    {"--depth", 0, "24|8", "bits per pixel of the bitmap; 8 gives it a palette (default 24)"},
    {"--gray", 0, nullptr, "decode to shades of gray: always 8 bits, 236 levels"},
    {"--shrink", 0, "1|2|4|8", "scale the picture down by this factor (default 1)"},
    {"--fast", 0, nullptr, "decode faster, less exactly"},
    {"--no-smoothing", 0, nullptr, "no block smoothing of a progressive picture's early passes"},
    {"--show-while-loading", 0, nullptr, "decode a progressive picture pass by pass"},
    {"--progress", 0, nullptr,
     "print each progress notification on stderr as a line: STAGE PERCENT REDRAW LEFT TOP "
     "RIGHT BOTTOM"},
    {"--quiet", 0, nullptr, "show no progress bar"},
};

constexpr const char* kDetails =
    "OUT's extension picks its format: .bmp (24-bit, or 8-bit with its palette),\n"
    ".ppm, .pgm (gray pictures only), .pnm (PGM when every pixel is gray, else PPM)\n"
    "or .png; another extension is refused, and a name without one (-, /dev/null) is\n"
    "BMP, unless --format says otherwise. The pixels are djpeg's with -dct float\n"
    "(--fast: -dct fast), -colors 236 for --depth 8, --gray or a gray file (with\n"
    "--fast also -dither ordered -onepass), -grayscale for --gray, -scale 1/N for\n"
    "--shrink N and -nosmooth for --no-smoothing.\n";

bool ParseShrink(const std::string& text, TJPEGScale& factor) {
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

// The format --format chose, else the one OUT's extension names. A name without one (-,
// /dev/null, a FIFO) is BMP, as every OUT was before there were other formats.
PictureFormat OutputFormat(const std::string& name, std::optional<PictureFormat> chosen) {
  if (chosen) return *chosen;
  if (const auto named = FormatOfFileName(name)) return *named;
  if (!HasExtension(name)) return PictureFormat::Bmp;
  throw UsageMistake("the name '" + name +
                     "' does not say a format: end it in .bmp, .ppm, .pgm, .pnm or .png, or give "
                     "--format");
}

}  // namespace

const CommandHelp kDecodeHelp = {
    "decode",
    "IN.jpg OUT",
    2,
    false,
    "decode as a picture draws it and save the bitmap as a BMP, PPM/PGM or PNG file",
    kOptions,
    kDetails};

int RunDecode(std::span<const std::string> arguments) {
  TJPEGDefaults options;
  ProgressChoice progress;
  std::optional<PictureFormat> format;
  const auto applyOption = [&](const std::string& option, const std::string* value) {
    if (option == "--format") {
      format = FormatNamed(*value);
      return format.has_value();
    }
    if (option == "--depth") {
      int depth = 0;
      if (!ParseNumber(*value, depth) || (depth != 24 && depth != 8)) return false;
      options.BitmapDepth = depth == 8 ? bd8Bit : bd24Bit;
    } else if (option == "--shrink") {
      return ParseShrink(*value, options.ShrinkFactor);
    } else if (option == "--gray") {
      options.GrayOutput = true;
    } else if (option == "--fast") {
      options.DecodeSpeed = dsBestSpeed;
    } else if (option == "--no-smoothing") {
      options.BlockSmoothing = false;
    } else if (option == "--show-while-loading") {
      options.ShowWhileLoading = true;
    } else if (option == "--progress") {
      progress.lines = true;
    } else if (option == "--quiet") {
      progress.quiet = true;
    }
    return true;
  };
  return RunCommand(arguments, kDecodeHelp, applyOption, [&](auto files) {
    const std::string& in = *files[0];
    const std::string& out = *files[1];
    const PictureFormat outFormat = OutputFormat(out, format);
    JpegDefaultOptions = options;
    // Destroyed after the display, so that a warning comes after the bar has gone.
    WarningReport warnings(in);
    ProgressDisplay display(progress, "decoding");
    TJPEGImage picture;
    display.Watch(picture);
    TBitmap* bitmap = nullptr;
    OnFile(in, [&] {
      InputFile input(in);
      picture.LoadFromStream(input.Stream());
      bitmap = GetDecodedBitmap(picture);
    });
    display.ShowSaving(out);
    OnFile(out, [&] {
      SaveOutput(out, [&](TStream& stream) { WritePicture(*bitmap, outFormat, stream); });
    });
    return kExitOk;
  });
}
