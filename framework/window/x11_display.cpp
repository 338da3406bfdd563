#include "framework/window/x11_display.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

[[noreturn]] int ExitOnLostConnection(Display* display) {
  std::fprintf(stderr, "%s: lost the connection to the X server %s\n",
               program_invocation_short_name, display != nullptr ? DisplayString(display) : "");
  // _exit, not exit: nothing may run that would wait on the dead connection.
  _exit(1);
}

}  // namespace

void EndProcessOnLostXConnection() { XSetIOErrorHandler(ExitOnLostConnection); }
