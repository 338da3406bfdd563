#pragma once
// Synthetic photo-like JPEG files for the benchmarks, made at run time with libjpeg directly:
// smooth gradients for the large shapes, value noise for texture and per-pixel grain, so the
// entropy-coded data has the density of a real photograph rather than of a flat test card.
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

enum class SampleKind { Baseline, Progressive, Grayscale };

struct SampleFile {
  SampleKind kind;
  int width;
  int height;
  int quality = 90;
};

using Bytes = std::vector<std::uint8_t>;

// Interleaved R,G,B (or one gray byte) per pixel, top row first; deterministic for a size.
Bytes MakePhotoPixels(int width, int height, int components);

// A complete JPEG file: 4:2:0 YCbCr (or one component), JFIF, at the given quality.
Bytes CompressSample(const SampleFile& item);

// The same file for a item, made once per process.
const Bytes& Sample(const SampleFile& item);

// Parses "baseline|progressive|gray:WIDTHxHEIGHT"; false when the text does not fit.
bool ParseSampleName(const std::string& text, SampleFile& item);

}  // namespace bench
