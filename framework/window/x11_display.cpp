#include "framework/window/x11_display.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

[[noreturn]] int ExitOnLostConnection(Display* display) {
  std::fprintf(stderr, "%s: lost the connection to the X server %s\n",
               program_invocation_short_name, display != nullptr ? DisplayString(display) : "");
  // _exit, not exit: nothing may run that would wait on the dead connection.
  _exit(1);
}

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
struct DatabaseDestroyer {
  void operator()(_XrmHashBucketRec* database) const { XrmDestroyDatabase(database); }
};

}  // namespace

void EndProcessOnLostXConnection() { XSetIOErrorHandler(ExitOnLostConnection); }

std::optional<double> XftDpiResource() {
  // A connection of its own: the window does not exist yet when its size is chosen.
  const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) return std::nullopt;
  const char* resources = XResourceManagerString(display.get());
  if (resources == nullptr) return std::nullopt;
  XrmInitialize();
  const std::unique_ptr<_XrmHashBucketRec, DatabaseDestroyer> database(
      XrmGetStringDatabase(resources));
  char* type = nullptr;
  XrmValue value{};
  if (!database || !XrmGetResource(database.get(), "Xft.dpi", "Xft.Dpi", &type, &value) ||
      value.addr == nullptr) {
    return std::nullopt;
  }
  char* end = nullptr;
  const double dpi = std::strtod(value.addr, &end);
  if (end == value.addr) return std::nullopt;
  return dpi;
}
