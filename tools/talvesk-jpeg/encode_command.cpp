// `talvesk-jpeg encode IN OUT.jpg [options]`: compresses a BMP, PPM/PGM or PNG file the way a
// picture with those options saves its bitmap.
#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/command_line.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/diagnostics.h"
#include "tools/talvesk-jpeg/operand_files.h"
#include "tools/talvesk-jpeg/picture_files.h"
#include "tools/talvesk-jpeg/progress_display.h"

namespace {

constexpr OptionHelp kOptions[] = {
    {"--quality", 'q', "1-100", "JPEG quality (default 90)"},
    {"--gray", 0, nullptr, "save shades of gray"},
    {"--progressive", 0, nullptr, "save a progressive JPEG file"},
    {"--quiet", 0, nullptr, "show no progress bar"},
};

constexpr const char* kDetails =
    "IN's format is told by its content: BMP (1, 4, 8, 24 or 32 bits per pixel,\n"
    "either row order), binary PPM or PGM (P6, P5) with maxval 255, or PNG (16-bit\n"
    "samples are scaled to 8 bits, transparency is dropped). A PGM or gray PNG is\n"
    "saved gray, as cjpeg does. The bytes are cjpeg's with -dct float -baseline and\n"
    "the same quality.\n";

}  // namespace

const CommandHelp kEncodeHelp = {
    "encode",
    "IN OUT.jpg",
    2,
    false,
    "compress a BMP, PPM/PGM or PNG file as a picture saves its bitmap",
    kOptions,
    kDetails};

int RunEncode(std::span<const std::string> arguments) {
  TJPEGDefaults options;
  options.SaveQuality = 90;
  ProgressChoice progress;
  const auto applyOption = [&](const std::string& option, const std::string* value) {
    if (option == "--quality") {
      int quality = 0;
      if (!ParseNumber(*value, quality) || quality < 1 || quality > 100) return false;
      options.SaveQuality = static_cast<TJPEGQualityRange>(quality);
    } else if (option == "--gray") {
      options.GrayOutput = true;
    } else if (option == "--progressive") {
      options.SaveProgressive = true;
    } else if (option == "--quiet") {
      progress.quiet = true;
    }
    return true;
  };
  return RunCommand(arguments, kEncodeHelp, applyOption, [&](auto files) {
    const std::string& in = *files[0];
    const std::string& out = *files[1];
    TBitmap bitmap;
    OnFile(in, [&] {
      InputFile input(in);
      if (ReadPicture(bitmap, input.Stream())) options.GrayOutput = true;
    });
    JpegDefaultOptions = options;
    ProgressDisplay display(progress, "encoding");
    TJPEGImage picture;
    display.Watch(picture);
    picture.Assign(&bitmap);
    // Compressed first, so that a picture the library refuses is reported as IN's fault.
    TMemoryStream compressed;
    OnFile(in, [&] { picture.SaveToStream(compressed); });
    display.ShowSaving(out);
    OnFile(out, [&] {
      SaveOutput(out, [&](TStream& stream) {
        stream.WriteBuffer(compressed.Memory(), compressed.GetSize());
      });
    });
    return kExitOk;
  });
}
