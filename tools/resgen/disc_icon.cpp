#include "tools/resgen/disc_icon.h"

#include <cmath>
#include <numbers>

namespace {

// Radii as fractions of the disc's radius. The hole and ring are larger than on a real disc so
// that they still read at 16 pixels.
constexpr double kHoleRadius = 0.15;
constexpr double kRingRadius = 0.45;
// Brightest gray of the sheen, and the direction of its two opposite wedges (screen angle).
constexpr double kSheenPeak = 48.0;
constexpr double kSheenAngle = 3.0 * std::numbers::pi / 4.0;
constexpr int kSamplesPerAxis = 8;

struct Sample {
  double gray;  // 0..255
  bool opaque;
};

Sample Shade(double dx, double dy, double radius) {
  const double distance = std::hypot(dx, dy) / radius;
  if (distance > 1.0 || distance < kHoleRadius) return {0.0, false};
  if (distance < kRingRadius) return {255.0, true};
  const double wedge = std::cos(2.0 * (std::atan2(dy, dx) - kSheenAngle));
  const double sheen = wedge > 0.0 ? std::pow(wedge, 6.0) : 0.0;
  return {kSheenPeak * sheen, true};
}

std::uint8_t ToByte(double value) {
  return static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, value))));
}

}  // namespace

RgbaImage RenderDiscIcon(int size) {
  RgbaImage image;
  image.size = size;
  image.rgba.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 4);
  const double centre = size / 2.0;
  const double radius = size / 2.0 - 0.5;  // half a pixel free for the anti-aliased edge
  std::size_t at = 0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double coverage = 0.0;
      double graySum = 0.0;
      for (int sy = 0; sy < kSamplesPerAxis; ++sy) {
        for (int sx = 0; sx < kSamplesPerAxis; ++sx) {
          const double px = x + (sx + 0.5) / kSamplesPerAxis;
          const double py = y + (sy + 0.5) / kSamplesPerAxis;
          const Sample s = Shade(px - centre, py - centre, radius);
          if (s.opaque) {
            coverage += 1.0;
            graySum += s.gray;
          }
        }
      }
      const double gray = coverage > 0.0 ? graySum / coverage : 0.0;
      const double alpha = 255.0 * coverage / (kSamplesPerAxis * kSamplesPerAxis);
      image.rgba[at++] = ToByte(gray);
      image.rgba[at++] = ToByte(gray);
      image.rgba[at++] = ToByte(gray);
      image.rgba[at++] = ToByte(alpha);
    }
  }
  return image;
}
