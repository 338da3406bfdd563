// `talvesk-jpeg info IN.jpg...`: each picture's size, colours and scan kind, from its header.
// jpeglib.h needs FILE and size_t declared first.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/command_line.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/diagnostics.h"
#include "tools/talvesk-jpeg/operand_files.h"

namespace {

constexpr const char* kDetails =
    "Each file gives one line on stdout:\n"
    "  WIDTH HEIGHT gray=0|1 progressive=0|1 colour=SPACE sampling=HxV,... NAME\n"
    "SPACE is Gray, YCbCr, RGB, CMYK, YCCK or unknown; the sampling factors are\n"
    "each component's (2x2,1x1,1x1 is 4:2:0, 2x1,1x1,1x1 is 4:2:2, 1x1,1x1,1x1 is\n"
    "4:4:4). A file that fails gives its message on stderr instead, and the files\n"
    "after it are read.\n";

const char* ColourSpaceName(int space) {
  switch (space) {
    case JCS_GRAYSCALE:
      return "Gray";
    case JCS_YCbCr:
      return "YCbCr";
    case JCS_RGB:
      return "RGB";
    case JCS_CMYK:
      return "CMYK";
    case JCS_YCCK:
      return "YCCK";
    default:
      return "unknown";
  }
}

void PrintInfo(const std::string& name) {
  InputFile input(name);
  TJPEGImage picture;
  picture.LoadFromStream(input.Stream());
  // An empty file loads as a picture without data; the header read says what is wrong.
  const TJPEGHeaderDetails details = ReadHeaderDetails(picture);
  std::string sampling;
  for (const auto& component : details.Components) {
    sampling += (sampling.empty() ? "" : ",") + std::to_string(component.Horizontal) + "x" +
                std::to_string(component.Vertical);
  }
  std::printf("%d %d gray=%d progressive=%d colour=%s sampling=%s %s\n", picture.GetWidth(),
              picture.GetHeight(), picture.IsGrayscale() ? 1 : 0, picture.SaveProgressive() ? 1 : 0,
              ColourSpaceName(details.ColorSpace), sampling.c_str(), name.c_str());
}

}  // namespace

const CommandHelp kInfoHelp = {
    "info", "IN.jpg...", 1, true, "print each file's size, colours and scan kind from its header",
    {},     kDetails};

int RunInfo(std::span<const std::string> arguments) {
  const auto noOptions = [](const std::string&, const std::string*) { return false; };
  return RunCommand(arguments, kInfoHelp, noOptions, [](auto files) {
    int status = kExitOk;
    for (const std::string* name : files) {
      try {
        WarningReport warnings(*name);
        OnFile(*name, [&] { PrintInfo(*name); });
      } catch (const FileFailure& failure) {
        PrintMessage(failure.what());
        status = kExitFailure;
      }
    }
    return status;
  });
}
