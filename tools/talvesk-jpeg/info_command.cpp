// `talvesk-jpeg info IN.jpg`: the picture's size, colour kind and scan kind, from its header.
#include <cstdio>

#include "jpeg/jpeg.h"
#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/file_command.h"

int RunInfo(std::span<const std::string> arguments) {
  if (arguments.size() != 1 || (arguments[0].size() > 1 && arguments[0][0] == '-')) {
    std::fputs("usage: talvesk-jpeg info IN.jpg\n", stderr);
    return kExitUsage;
  }
  return ReportFailure([&] {
    TJPEGImage picture;
    picture.LoadFromFile(arguments[0]);
    std::printf("%d %d gray=%d progressive=%d\n", picture.GetWidth(), picture.GetHeight(),
                picture.IsGrayscale() ? 1 : 0, picture.SaveProgressive() ? 1 : 0);
  });
}
