#include "framework/window/desktop_scale.h"

#include <cmath>
#include <cstdlib>

namespace {

// Far beyond any screen; keeps absurd settings from overflowing the window size.
constexpr double kLargestFactor = 64;

std::optional<double> PositiveNumber(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(value) || value <= 0) return std::nullopt;
  return value;
}

int WholeFactor(double scale) {
  if (scale < 1) return 1;
  return static_cast<int>(std::floor(std::fmin(scale, kLargestFactor)));
}

}  // namespace

int DesktopScaleFactor(std::optional<double> xftDpi, const char* gdkScale,
                       const char* qtScaleFactor) {
  if (xftDpi && std::isfinite(*xftDpi) && *xftDpi > 0) return WholeFactor(*xftDpi / 96);
  if (const auto gdk = PositiveNumber(gdkScale)) return WholeFactor(*gdk);
  if (const auto qt = PositiveNumber(qtScaleFactor)) return WholeFactor(*qt);
  return 1;
}
