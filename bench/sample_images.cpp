#include "bench/sample_images.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <tuple>

#include "bench/raw_codec.h"

namespace bench {
namespace {

// A well-mixed 32-bit hash: the pseudo-random source of every pattern below.
std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
  std::uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

float Unit(std::uint32_t h) { return static_cast<float>(h >> 8) / 16777216.0f * 2.0f - 1.0f; }

// Smoothly interpolated random values on a square lattice of the given spacing, in [-1, 1].
class ValueNoise {
 public:
  ValueNoise(int width, int height, int spacing, std::uint32_t seed)
      : spacing_(spacing), columns_(width / spacing + 2), rows_(height / spacing + 2) {
    lattice_.resize(static_cast<std::size_t>(columns_) * rows_);
    for (int y = 0; y < rows_; ++y)
      for (int x = 0; x < columns_; ++x)
        lattice_[static_cast<std::size_t>(y) * columns_ + x] =
            Unit(Hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), seed));
  }

  // Fills row with the noise of image row y.
  void Row(int y, std::vector<float>& row) const {
    const int cell = y / spacing_;
    const float fy = Smooth(static_cast<float>(y % spacing_) / static_cast<float>(spacing_));
    const float* top = &lattice_[static_cast<std::size_t>(cell) * columns_];
    const float* bottom = top + columns_;
    for (std::size_t x = 0; x < row.size(); ++x) {
      const int cx = static_cast<int>(x) / spacing_;
      const float fx =
          Smooth(static_cast<float>(static_cast<int>(x) % spacing_) / static_cast<float>(spacing_));
      const float upper = top[cx] + (top[cx + 1] - top[cx]) * fx;
      const float lower = bottom[cx] + (bottom[cx + 1] - bottom[cx]) * fx;
      row[x] = upper + (lower - upper) * fy;
    }
  }

 private:
  static float Smooth(float t) { return t * t * (3.0f - 2.0f * t); }
  int spacing_;
  int columns_;
  int rows_;
  std::vector<float> lattice_;
};

std::uint8_t Clamp(float v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f)); }

}  // namespace

Bytes MakePhotoPixels(int width, int height, int components) {
  // Large shapes, mid-sized texture, fine texture; two slow fields tint the colours.
  const ValueNoise shapes(width, height, 240, 1), texture(width, height, 28, 2),
      fine(width, height, 5, 3), tintA(width, height, 400, 4), tintB(width, height, 150, 5);
  const std::size_t w = static_cast<std::size_t>(width);
  std::vector<float> s(w), t(w), f(w), a(w), b(w);
  Bytes pixels(w * static_cast<std::size_t>(height) * static_cast<std::size_t>(components));
  std::uint8_t* out = pixels.data();
  for (int y = 0; y < height; ++y) {
    shapes.Row(y, s);
    texture.Row(y, t);
    fine.Row(y, f);
    tintA.Row(y, a);
    tintB.Row(y, b);
    const float vertical = 70.0f * static_cast<float>(y) / static_cast<float>(height);
    for (std::size_t x = 0; x < w; ++x) {
      const float grain =
          Unit(Hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 9)) * 7.0f;
      const float horizontal = 40.0f * static_cast<float>(x) / static_cast<float>(width);
      // Thresholds of the slow fields give hard object edges, as real scenes have.
      const float edges = (s[x] > 0.25f ? 38.0f : 0.0f) + (t[x] > 0.55f ? -30.0f : 0.0f);
      const float luma =
          80.0f + vertical + horizontal + 45.0f * s[x] + 22.0f * t[x] + 9.0f * f[x] + edges + grain;
      if (components == 1) {
        *out++ = Clamp(luma);
      } else {
        *out++ = Clamp(luma + 30.0f * a[x] + 10.0f * b[x]);
        *out++ = Clamp(luma + 12.0f * b[x] - 8.0f * a[x]);
        *out++ = Clamp(luma - 28.0f * a[x] + 6.0f * t[x]);
      }
    }
  }
  return pixels;
}

Bytes CompressSample(const SampleFile& item) {
  const bool gray = item.kind == SampleKind::Grayscale;
  const int components = gray ? 1 : 3;
  const Bytes pixels = MakePhotoPixels(item.width, item.height, components);
  RawCompressParams params;
  params.width = item.width;
  params.height = item.height;
  params.components = components;
  params.inColorSpace = gray ? JCS_GRAYSCALE : JCS_RGB;
  params.quality = item.quality;
  params.progressive = item.kind == SampleKind::Progressive;
  params.dctMethod = JDCT_ISLOW;
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(item.width) * components;
  Bytes file;
  RawCompress(params, pixels.data(), stride, static_cast<int>(item.height), file);
  return file;
}

const Bytes& Sample(const SampleFile& item) {
  static std::map<std::tuple<int, int, int, int>, Bytes> made;
  const auto key =
      std::make_tuple(static_cast<int>(item.kind), item.width, item.height, item.quality);
  auto it = made.find(key);
  if (it == made.end()) it = made.emplace(key, CompressSample(item)).first;
  return it->second;
}

bool ParseSampleName(const std::string& text, SampleFile& item) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  const std::string kind = text.substr(0, colon);
  if (kind == "baseline") {
    item.kind = SampleKind::Baseline;
  } else if (kind == "progressive") {
    item.kind = SampleKind::Progressive;
  } else if (kind == "gray") {
    item.kind = SampleKind::Grayscale;
  } else {
    return false;
  }
  int width = 0, height = 0;
  char tail = 0;
  if (std::sscanf(text.c_str() + colon + 1, "%dx%d%c", &width, &height, &tail) != 2) return false;
  if (width < 1 || height < 1 || width > 20000 || height > 20000) return false;
  item.width = width;
  item.height = height;
  return true;
}

}  // namespace bench
