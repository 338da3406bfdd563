// Stretched drawing of TBitmap onto a canvas surface. Shrinking averages the exact source area
// under each destination pixel (partly covered source pixels weighted by their share); enlarging
// takes the nearest source pixel. Weights are integers, so every sum is exact and each output
// needs one multiplication by a precomputed reciprocal instead of a division.
#include <algorithm>
#include <cstring>
#include <type_traits>
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

// sums[i] += the bytes of up to four rows: the loop that touches every source byte when
// shrinking, so the sums are loaded and stored once for up to four rows. Every run of rows ends
// with a group of fewer than four, which takes the vector path too.
void AddRows(std::uint16_t* sums, const std::uint8_t* const* rows, int rowCount,
             std::size_t count) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    __m128i low = _mm_setzero_si128();
    __m128i high = _mm_setzero_si128();
    for (int r = 0; r < rowCount; ++r) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i));
      low = _mm_add_epi16(low, _mm_unpacklo_epi8(bytes, zero));
      high = _mm_add_epi16(high, _mm_unpackhi_epi8(bytes, zero));
    }
    auto* lowSums = reinterpret_cast<__m128i*>(sums + i);
    auto* highSums = reinterpret_cast<__m128i*>(sums + i + 8);
    _mm_storeu_si128(lowSums, _mm_add_epi16(_mm_loadu_si128(lowSums), low));
    _mm_storeu_si128(highSums, _mm_add_epi16(_mm_loadu_si128(highSums), high));
  }
#endif
  for (; i < count; ++i) {
    unsigned sum = sums[i];
    for (int r = 0; r < rowCount; ++r) sum += rows[r][i];
    sums[i] = static_cast<std::uint16_t>(sum);
  }
}

#if defined(__SSE2__)
// The vector form of CombineEdges for 32-bit sums, eight values at a time, for edge weights
// that add up to at most 257 (so 255 times them fits 16 bits) and a middle weight of 16 bits,
// which is what shrinking to a tile gives. Returns how many values it did.
std::size_t CombineEdges32(std::uint32_t* sums, const std::uint8_t* first,
                           std::uint32_t firstWeight, const std::uint8_t* last,
                           std::uint32_t lastWeight, const std::uint16_t* middle,
                           std::uint32_t middleWeight, std::size_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i firstW = _mm_set1_epi16(static_cast<short>(firstWeight));
  const __m128i lastW = _mm_set1_epi16(static_cast<short>(lastWeight));
  const __m128i middleW = _mm_set1_epi16(static_cast<short>(middleWeight));
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i firstValues =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first + i)), zero);
    const __m128i lastValues =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(last + i)), zero);
    const __m128i edges =
        _mm_add_epi16(_mm_mullo_epi16(firstValues, firstW), _mm_mullo_epi16(lastValues, lastW));
    const __m128i middleValues = _mm_loadu_si128(reinterpret_cast<const __m128i*>(middle + i));
    // 16 x 16 -> 32-bit products from their low and high halves.
    const __m128i productLow = _mm_mullo_epi16(middleValues, middleW);
    const __m128i productHigh = _mm_mulhi_epu16(middleValues, middleW);
    const __m128i low =
        _mm_add_epi32(_mm_unpacklo_epi16(productLow, productHigh), _mm_unpacklo_epi16(edges, zero));
    const __m128i high =
        _mm_add_epi32(_mm_unpackhi_epi16(productLow, productHigh), _mm_unpackhi_epi16(edges, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i + 4), high);
  }
  return i;
}
#endif

// sums[i] = first[i] * firstWeight + last[i] * lastWeight + middle[i] * middleWeight, in blocks
// of a fixed length the compiler turns into vector code where it can.
template <typename Sum>
void CombineEdges(Sum* sums, const std::uint8_t* first, Sum firstWeight, const std::uint8_t* last,
                  Sum lastWeight, const std::uint16_t* middle, Sum middleWeight,
                  std::size_t count) {
  constexpr std::size_t kBlock = 16;
  std::size_t i = 0;
#if defined(__SSE2__)
  if constexpr (std::is_same_v<Sum, std::uint32_t>) {
    if (firstWeight + lastWeight <= 257 && middleWeight <= 0xFFFF)
      i = CombineEdges32(sums, first, firstWeight, last, lastWeight, middle, middleWeight, count);
  }
#endif
  for (; i + kBlock <= count; i += kBlock) {
    for (std::size_t k = i; k < i + kBlock; ++k) {
      sums[k] = static_cast<Sum>(first[k] * firstWeight + last[k] * lastWeight +
                                 middle[k] * middleWeight);
    }
  }
  for (; i < count; ++i) {
    sums[i] =
        static_cast<Sum>(first[i] * firstWeight + last[i] * lastWeight + middle[i] * middleWeight);
  }
}

struct Geometry {
  int x0, x1, y0, y1;          // visible destination pixels
  std::uint64_t fullX, fullY;  // weight of a wholly covered source pixel per axis
  std::uint64_t reciprocal;    // 2^kShift / total weight, rounded
};
constexpr int kShift = 48;

// Sum is the type of a column's weighted sum (at most 255 x source height).
template <typename Sum, typename RowFn>
void StretchRows(RowFn&& sourceRow, bool rowsStay, std::size_t rowValues,
                 const std::vector<Span>& columns, const std::vector<Span>& rows, const Geometry& g,
                 const TSurface& surface) {
  std::vector<Sum> columnSums(rowValues);
  std::vector<std::uint16_t> middleSums(rowValues);
  const std::vector<std::uint8_t> zeroRow(rowValues);
  std::vector<std::uint8_t> firstCopy(rowsStay ? 0 : rowValues);
  std::vector<std::uint8_t> lastCopy(rowsStay ? 0 : rowValues);
  // 256 rows of 255 still fit 16 bits; runs go in groups of four.
  constexpr int kRowsPer16Bits = 256;
  constexpr std::uint64_t kHalf = std::uint64_t{1} << (kShift - 1);
  const auto fullY = static_cast<Sum>(g.fullY);

  for (int y = g.y0; y < g.y1; ++y) {
    const Span& v = rows[static_cast<std::size_t>(y - g.y0)];
    // columnSums = first x its weight + last x its weight + full weight x the rows between,
    // the rows between summed in 16 bits in runs of at most 256 rows.
    // Expanded rows share one buffer, so the edges are kept in their own.
    const std::uint8_t* firstRow = sourceRow(v.first);
    if (!rowsStay) {
      std::copy_n(firstRow, rowValues, firstCopy.data());
      firstRow = firstCopy.data();
    }
    const std::uint8_t* lastRow = zeroRow.data();
    if (v.last > v.first) {
      lastRow = sourceRow(v.last);
      if (!rowsStay) {
        std::copy_n(lastRow, rowValues, lastCopy.data());
        lastRow = lastCopy.data();
      }
    }
    const auto firstWeight = static_cast<Sum>(v.firstWeight);
    const auto lastWeight = static_cast<Sum>(v.lastWeight);
    bool edgesAdded = false;
    int row = v.first + 1;
    do {
      const int runEnd = std::min(v.last, row + kRowsPer16Bits);
      std::fill(middleSums.begin(), middleSums.end(), std::uint16_t{0});
      while (row < runEnd) {
        const std::uint8_t* group[4];
        const int count = rowsStay ? std::min(4, runEnd - row) : 1;
        for (int r = 0; r < count; ++r) group[r] = sourceRow(row + r);
        AddRows(middleSums.data(), group, count, rowValues);
        row += count;
      }
      if (!edgesAdded) {
        CombineEdges(columnSums.data(), firstRow, firstWeight, lastRow, lastWeight,
                     middleSums.data(), fullY, rowValues);
        edgesAdded = true;
      } else {
        for (std::size_t i = 0; i < rowValues; ++i) columnSums[i] += fullY * middleSums[i];
      }
    } while (row < v.last);

    std::uint32_t* out = surface.pixels + static_cast<std::ptrdiff_t>(y) * surface.pitchPixels;
    for (int x = g.x0; x < g.x1; ++x) {
      const Span& h = columns[static_cast<std::size_t>(x - g.x0)];
      std::uint64_t total[3];
      const Sum* first = &columnSums[static_cast<std::size_t>(h.first) * 3];
      for (int c = 0; c < 3; ++c) total[c] = h.firstWeight * first[c];
      if (h.last > h.first) {
        std::uint64_t middle[3] = {0, 0, 0};
        for (int s = h.first + 1; s < h.last; ++s) {
          const Sum* pixel = &columnSums[static_cast<std::size_t>(s) * 3];
          middle[0] += pixel[0];
          middle[1] += pixel[1];
          middle[2] += pixel[2];
        }
        const Sum* last = &columnSums[static_cast<std::size_t>(h.last) * 3];
        for (int c = 0; c < 3; ++c) total[c] += h.lastWeight * last[c] + g.fullX * middle[c];
      }
      const auto blue = static_cast<std::uint32_t>((total[0] * g.reciprocal + kHalf) >> kShift);
      const auto green = static_cast<std::uint32_t>((total[1] * g.reciprocal + kHalf) >> kShift);
      const auto red = static_cast<std::uint32_t>((total[2] * g.reciprocal + kHalf) >> kShift);
      out[x] = red << 16 | green << 8 | blue;
    }
  }
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
  const std::vector<Span> columns =
      AxisSpans(sourceWidth, rect.Width(), x0 - rect.Left, x1 - rect.Left);
  const std::vector<Span> rows =
      AxisSpans(sourceHeight, rect.Height(), y0 - rect.Top, y1 - rect.Top);

  // One multiplication and shift replaces the division by the total weight.
  const std::uint64_t totalWeight = std::uint64_t(sourceWidth) * std::uint64_t(sourceHeight);
  const Geometry geometry{x0,
                          x1,
                          y0,
                          y1,
                          static_cast<std::uint64_t>(rect.Width()),
                          static_cast<std::uint64_t>(rect.Height()),
                          ((std::uint64_t{1} << kShift) + totalWeight / 2) / totalWeight};

  // Source rows as B,G,R bytes: 24-bit rows as they lie, the other formats expanded.
  const bool direct = format_ == pf24bit;
  const std::vector<PALETTEENTRY> palette =
      format_ <= pf8bit ? PaletteEntriesOf(palette_.get()) : std::vector<PALETTEENTRY>{};
  std::vector<std::uint8_t> scratch(direct ? 0 : static_cast<std::size_t>(sourceWidth) * 3);
  const auto sourceRow = [&](int row) -> const std::uint8_t* {
    if (direct) return RowAddress(row);
    RowToBgr(row, palette, scratch.data());
    return scratch.data();
  };
  const auto rowValues = static_cast<std::size_t>(sourceWidth) * 3;
  // 32-bit column sums are faster; very tall images need 64 bits.
  if (std::uint64_t{255} * static_cast<std::uint64_t>(sourceHeight) <= UINT32_MAX) {
    StretchRows<std::uint32_t>(sourceRow, direct, rowValues, columns, rows, geometry, surface);
  } else {
    StretchRows<std::uint64_t>(sourceRow, direct, rowValues, columns, rows, geometry, surface);
  }
}
