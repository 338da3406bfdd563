// talvesk-drive: the virtual drive that the launcher's mount command reaches under Wine. It runs
// detached after the launcher has closed, so a failure is shown in a message box as well as on
// stderr.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "drive/autoplay.h"
#include "drive/command_line.h"
#include "drive/commands.h"
#include "drive/failure.h"
#include "drive/install.h"
#include "framework/forms/application.h"
#include "framework/window/sdl_window_system.h"

namespace {

constexpr const char* kProgram = "talvesk-drive";

bool HasDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

void ReportFailure(const AnsiString& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  if (!HasDisplay()) return;
  UseSdlWindowSystem();
  Application->SetTitle("Talvesk");
  Application->ShowException(Exception(message));
}

int Run(const TDriveCommand& command) {
  switch (command.kind) {
    case TDriveCommand::Kind::Mount:
      std::puts(MountOnDevice(command.device, command.imagePath).c_str());
      return 0;
    case TDriveCommand::Kind::Unmount:
      std::puts(UnmountDevice(command.device).c_str());
      return 0;
    case TDriveCommand::Kind::Install:
      std::puts(InstallDrive(command.force).c_str());
      return 0;
    case TDriveCommand::Kind::AutoPlay:
      SetAutoPlayEnabled(command.autoPlay);
      std::printf("AutoPlay is %s\n", command.autoPlay ? "on" : "off");
      return 0;
    case TDriveCommand::Kind::Help:
      std::fputs(DriveUsageText(), stdout);
      return 0;
    case TDriveCommand::Kind::Version:
      std::printf("%s (Talvesk)\n", kProgram);
      return 0;
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  try {
    return Run(ParseDriveCommandLine(arguments));
  } catch (const EDriveUsage& usage) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                 usage.Message().c_str(), kProgram);
    return 2;
  } catch (const std::exception& failure) {
    ReportFailure(failure.what());
    return 1;
  }
}
