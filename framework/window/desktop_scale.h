#pragma once
// The desktop's scale, as Windows applies it to a program that does not declare itself
// DPI-aware: the whole window enlarged by a whole factor.
#include <optional>

// The first of these that is set and a positive number, as a factor rounded down (at least 1):
// Xft.dpi from the X resources (96 dpi is 1), GDK_SCALE, QT_SCALE_FACTOR. 1 when none is.
int DesktopScaleFactor(std::optional<double> xftDpi, const char* gdkScale,
                       const char* qtScaleFactor);
