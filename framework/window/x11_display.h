#pragma once
// What the SDL backend needs from Xlib itself, for the two things SDL leaves to the program.
#include <optional>

// From now on, a broken connection to the X server (logout, a crashed server, a dropped ssh -X)
// ends the process at once with exit status 1. Xlib's own handler calls exit(), whose static
// destructors would go on talking to the dead server and never return.
void EndProcessOnLostXConnection();

// The desktop's Xft.dpi from the X resources of the display in $DISPLAY; nothing when it is not
// set, not a number, or there is no display.
std::optional<double> XftDpiResource();
