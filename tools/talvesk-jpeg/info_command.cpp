// `talvesk-jpeg info IN.jpg`: the picture's size, colour kind and scan kind, from its header.
#include <cstdio>

#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/command_line.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/standard_streams.h"

const CommandHelp kInfoHelp = {
    "info", "IN.jpg", 1, "print WIDTH HEIGHT gray=0|1 progressive=0|1 from the header", {}};

int RunInfo(std::span<const std::string> arguments) {
  const auto noOptions = [](const std::string&, const OptionValue&) { return false; };
  return RunCommand(arguments, kInfoHelp, noOptions, [](auto files) {
    TJPEGImage picture;
    LoadGraphic(picture, *files[0]);
    std::printf("%d %d gray=%d progressive=%d\n", picture.GetWidth(), picture.GetHeight(),
                picture.IsGrayscale() ? 1 : 0, picture.SaveProgressive() ? 1 : 0);
  });
}
