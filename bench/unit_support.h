#pragma once
// Glue between the benchmarks and the picture unit / framework: streams from bytes, bitmaps
// from baseline images, and a check that the unit produced the baseline's pixels.
#include <memory>
#include <string>

#include "bench/raw_codec.h"
#include "bench/sample_images.h"
#include "framework/classes/stream.h"
#include "framework/graphics/bitmap.h"

namespace bench {

std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes);

// A 24-bit TBitmap holding the image, in the requested row order.
std::unique_ptr<TBitmap> BitmapOf(const RawImage& image, bool topDown);

// Empty when the bitmap holds exactly the image's rows (and, for 8-bit, the same palette
// size); otherwise a short description of the first difference.
std::string CompareWithBaseline(TBitmap& bitmap, const RawImage& image);

}  // namespace bench
