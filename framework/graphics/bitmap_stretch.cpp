// Stretched drawing of TBitmap onto a canvas surface. Shrinking averages the exact source area
// under each destination pixel (partly covered source pixels weighted by their share); enlarging
// takes the nearest source pixel. Weights are integers, so every sum is exact and each output
// needs one multiplication by a precomputed reciprocal instead of a division.
#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/graphics/bitmap.h"
#include "framework/graphics/canvas.h"
#include "framework/graphics/palette_entries.h"

namespace {

// Source pixels under one destination pixel of an axis that maps sourceLength pixels onto
// destLength pixels, in units of 1/destLength source pixel: first and last take the given
// weights and the pixels between them the full weight destLength. Weights add up to sourceLength.
struct Span {
  int first = 0;
  int last = 0;
  std::uint64_t firstWeight = 0;
  std::uint64_t lastWeight = 0;
};

std::vector<Span> AxisSpans(int sourceLength, int destLength, int fromDest, int toDest) {
  std::vector<Span> spans;
  spans.reserve(static_cast<std::size_t>(toDest - fromDest));
  const std::int64_t source = sourceLength;
  const std::int64_t dest = destLength;
  for (std::int64_t d = fromDest; d < toDest; ++d) {
    Span span;
    if (dest >= source) {
      span.first = span.last = static_cast<int>((2 * d + 1) * source / (2 * dest));
      span.firstWeight = static_cast<std::uint64_t>(source);
    } else {
      const std::int64_t start = d * source;
      const std::int64_t end = start + source;
      span.first = static_cast<int>(start / dest);
      span.last = static_cast<int>((end - 1) / dest);
      if (span.first == span.last) {
        span.firstWeight = static_cast<std::uint64_t>(source);
      } else {
        span.firstWeight = static_cast<std::uint64_t>((span.first + 1) * dest - start);
        span.lastWeight = static_cast<std::uint64_t>(end - span.last * dest);
      }
    }
    spans.push_back(span);
  }
  return spans;
}

// sums[i] += row[i]: the loop that touches every source byte when shrinking.
void AddRow(std::uint16_t* sums, const std::uint8_t* row, std::size_t count) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    auto* low = reinterpret_cast<__m128i*>(sums + i);
    auto* high = reinterpret_cast<__m128i*>(sums + i + 8);
    _mm_storeu_si128(low, _mm_add_epi16(_mm_loadu_si128(low), _mm_unpacklo_epi8(bytes, zero)));
    _mm_storeu_si128(high, _mm_add_epi16(_mm_loadu_si128(high), _mm_unpackhi_epi8(bytes, zero)));
  }
#endif
  for (; i < count; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] + row[i]);
}

}  // namespace

void TBitmap::RenderStretched(TCanvas& canvas, const TRect& rect) {
  const TSurface& surface = canvas.Surface();
  if (IsEmpty() || surface.pixels == nullptr || rect.Width() <= 0 || rect.Height() <= 0) return;
  const int x0 = std::max(rect.Left, 0);
  const int x1 = std::min(rect.Right, surface.width);
  const int y0 = std::max(rect.Top, 0);
  const int y1 = std::min(rect.Bottom, surface.height);
  if (x0 >= x1 || y0 >= y1) return;

  const int sourceWidth = width_;
  const int sourceHeight = height_;
  const std::uint64_t fullX = static_cast<std::uint64_t>(rect.Width());
  const std::uint64_t fullY = static_cast<std::uint64_t>(rect.Height());
  const std::vector<Span> columns =
      AxisSpans(sourceWidth, rect.Width(), x0 - rect.Left, x1 - rect.Left);
  const std::vector<Span> rows =
      AxisSpans(sourceHeight, rect.Height(), y0 - rect.Top, y1 - rect.Top);

  // One multiplication and shift replaces the division by the total weight.
  constexpr int kShift = 48;
  const std::uint64_t totalWeight = std::uint64_t(sourceWidth) * std::uint64_t(sourceHeight);
  const std::uint64_t reciprocal = ((std::uint64_t{1} << kShift) + totalWeight / 2) / totalWeight;
  constexpr std::uint64_t kHalf = std::uint64_t{1} << (kShift - 1);

  // Source rows as B,G,R bytes: 24-bit rows as they lie, the other formats expanded.
  const bool direct = format_ == pf24bit;
  const std::vector<PALETTEENTRY> palette =
      format_ <= pf8bit ? PaletteEntriesOf(palette_.get()) : std::vector<PALETTEENTRY>{};
  std::vector<std::uint8_t> scratch(direct ? 0 : static_cast<std::size_t>(sourceWidth) * 3);
  const auto sourceRow = [&](int row) -> const std::uint8_t* {
    if (direct) return ScanLine(row);
    RowToBgr(row, palette, scratch.data());
    return scratch.data();
  };

  const auto rowValues = static_cast<std::size_t>(sourceWidth) * 3;
  std::vector<std::uint64_t> columnSums(rowValues);
  std::vector<std::uint16_t> middleSums(rowValues);
  // 257 rows of 255 still fit 16 bits.
  constexpr int kRowsPer16Bits = 257;

  for (int y = y0; y < y1; ++y) {
    const Span& v = rows[static_cast<std::size_t>(y - y0)];
    const std::uint8_t* firstRow = sourceRow(v.first);
    for (std::size_t i = 0; i < rowValues; ++i) columnSums[i] = v.firstWeight * firstRow[i];
    if (v.last > v.first) {
      const std::uint8_t* lastRow = sourceRow(v.last);
      for (std::size_t i = 0; i < rowValues; ++i) columnSums[i] += v.lastWeight * lastRow[i];
    }
    for (int row = v.first + 1; row < v.last;) {
      const int runEnd = std::min(v.last, row + kRowsPer16Bits);
      std::fill(middleSums.begin(), middleSums.end(), std::uint16_t{0});
      for (; row < runEnd; ++row) AddRow(middleSums.data(), sourceRow(row), rowValues);
      for (std::size_t i = 0; i < rowValues; ++i) columnSums[i] += fullY * middleSums[i];
    }

    std::uint32_t* out = surface.pixels + static_cast<std::ptrdiff_t>(y) * surface.pitchPixels;
    for (int x = x0; x < x1; ++x) {
      const Span& h = columns[static_cast<std::size_t>(x - x0)];
      std::uint64_t total[3];
      const std::uint64_t* first = &columnSums[static_cast<std::size_t>(h.first) * 3];
      for (int c = 0; c < 3; ++c) total[c] = h.firstWeight * first[c];
      if (h.last > h.first) {
        std::uint64_t middle[3] = {0, 0, 0};
        for (int s = h.first + 1; s < h.last; ++s) {
          const std::uint64_t* pixel = &columnSums[static_cast<std::size_t>(s) * 3];
          middle[0] += pixel[0];
          middle[1] += pixel[1];
          middle[2] += pixel[2];
        }
        const std::uint64_t* last = &columnSums[static_cast<std::size_t>(h.last) * 3];
        for (int c = 0; c < 3; ++c) total[c] += h.lastWeight * last[c] + fullX * middle[c];
      }
      const auto blue = static_cast<std::uint32_t>((total[0] * reciprocal + kHalf) >> kShift);
      const auto green = static_cast<std::uint32_t>((total[1] * reciprocal + kHalf) >> kShift);
      const auto red = static_cast<std::uint32_t>((total[2] * reciprocal + kHalf) >> kShift);
      out[x] = red << 16 | green << 8 | blue;
    }
  }
}
