#pragma once
// The program's command line. The launcher's fixed command passes "-mount N,PATH" exactly as a
// Windows virtual-drive program takes it; the rest is for people.
#include <string>
#include <vector>

#include "framework/system/ansistring.h"

struct TDriveCommand {
  enum class Kind { Mount, Unmount, Install, AutoPlay, Help, Version };
  Kind kind = Kind::Help;
  int device = 0;
  AnsiString imagePath;  // Mount
  bool force = false;    // Install
  bool autoPlay = true;  // AutoPlay
};

// Raises EDriveUsage saying what is wrong.
TDriveCommand ParseDriveCommandLine(const std::vector<std::string>& arguments);

// The --help text.
const char* DriveUsageText();
