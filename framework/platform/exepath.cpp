#include <cstdlib>
#include <memory>

#include "framework/platform/paths.h"

AnsiString GetProgramWindowsPath() {
  // realpath, not readlink: the drive roots are canonical, so the program's path must be too.
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath("/proc/self/exe", nullptr),
                                                             &std::free);
  if (!resolved) return {};
  return WindowsPathFromHost(resolved.get());
}
