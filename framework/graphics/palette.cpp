#include "framework/graphics/palette.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "framework/graphics/palette_entries.h"

namespace {

// The process-wide table of GDI objects. Handles count up from an odd base in steps of 16, so a
// deleted handle is not handed out again for a very long time and a stale handle is refused.
class ObjectTable {
 public:
  HPALETTE Add(std::vector<PALETTEENTRY> entries) {
    const std::lock_guard lock(mutex_);
    next_ += 16;
    palettes_.emplace(next_, std::move(entries));
    return next_;
  }
  bool Remove(HPALETTE handle) {
    const std::lock_guard lock(mutex_);
    return palettes_.erase(handle) == 1;
  }
  // Runs f on the entries of a live palette; false for an unknown handle.
  template <typename F>
  bool With(HPALETTE handle, F&& f) {
    const std::lock_guard lock(mutex_);
    const auto found = palettes_.find(handle);
    if (found == palettes_.end()) return false;
    f(found->second);
    return true;
  }
  int LiveCount() {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(palettes_.size());
  }

 private:
  std::mutex mutex_;
  HPALETTE next_ = 0x1001;
  std::unordered_map<HPALETTE, std::vector<PALETTEENTRY>> palettes_;
};

// Never destroyed: palettes owned by static objects are deleted during exit, in any order.
ObjectTable& Table() {
  static auto* table = new ObjectTable;
  return *table;
}

constexpr PALETTEENTRY Entry(int r, int g, int b) {
  return {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b),
          0};
}

// The 20 static colours of a paletted Windows display: 10 at the start, 10 at the end.
constexpr std::array<PALETTEENTRY, 10> kStaticLow = {
    Entry(0, 0, 0),       Entry(128, 0, 0),    Entry(0, 128, 0),   Entry(128, 128, 0),
    Entry(0, 0, 128),     Entry(128, 0, 128),  Entry(0, 128, 128), Entry(192, 192, 192),
    Entry(192, 220, 192), Entry(166, 202, 240)};
constexpr std::array<PALETTEENTRY, 10> kStaticHigh = {
    Entry(255, 251, 240), Entry(160, 160, 164), Entry(128, 128, 128), Entry(255, 0, 0),
    Entry(0, 255, 0),     Entry(255, 255, 0),   Entry(0, 0, 255),     Entry(255, 0, 255),
    Entry(0, 255, 255),   Entry(255, 255, 255)};

// Halftone layout: 0-9 and 246-255 the static colours; 10-225 the 6x6x6 cube with levels
// 0, 51, ..., 255 (blue varying fastest); 226-245 twenty grays that fall between the cube's gray
// levels, four evenly spaced inside each of the five gaps (51k + round(51j/5), j = 1..4).
std::vector<PALETTEENTRY> HalftoneEntries() {
  std::vector<PALETTEENTRY> entries;
  entries.reserve(256);
  entries.insert(entries.end(), kStaticLow.begin(), kStaticLow.end());
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) entries.push_back(Entry(r * 51, g * 51, b * 51));
  for (int gap = 0; gap < 5; ++gap)
    for (int step = 1; step <= 4; ++step) {
      const int level = gap * 51 + (51 * step * 2 + 5) / 10;
      entries.push_back(Entry(level, level, level));
    }
  entries.insert(entries.end(), kStaticHigh.begin(), kStaticHigh.end());
  return entries;
}

}  // namespace

HPALETTE CreatePalette(const LOGPALETTE* logPalette) {
  if (logPalette == nullptr || logPalette->palNumEntries == 0 || logPalette->palNumEntries > 256) {
    return 0;
  }
  return Table().Add(std::vector<PALETTEENTRY>(
      logPalette->palPalEntry, logPalette->palPalEntry + logPalette->palNumEntries));
}

unsigned GetPaletteEntries(HPALETTE palette, unsigned start, unsigned count,
                           PALETTEENTRY* entries) {
  unsigned result = 0;
  Table().With(palette, [&](const std::vector<PALETTEENTRY>& held) {
    const auto size = static_cast<unsigned>(held.size());
    if (entries == nullptr) {
      result = size;
      return;
    }
    if (start >= size) return;
    result = std::min(count, size - start);
    std::copy_n(held.begin() + start, result, entries);
  });
  return result;
}

HPALETTE CreateHalftonePalette(HDC) { return Table().Add(HalftoneEntries()); }

HPALETTE CopyPalette(HPALETTE palette) {
  std::vector<PALETTEENTRY> copy;
  if (!Table().With(palette, [&](const std::vector<PALETTEENTRY>& held) { copy = held; })) return 0;
  return Table().Add(std::move(copy));
}

bool DeleteObject(HPALETTE object) { return object != 0 && Table().Remove(object); }

int GdiLiveObjectCount() { return Table().LiveCount(); }

std::vector<PALETTEENTRY> PaletteEntriesOf(HPALETTE palette) {
  std::vector<PALETTEENTRY> entries;
  Table().With(palette, [&](const std::vector<PALETTEENTRY>& held) { entries = held; });
  return entries;
}

HPALETTE CreatePaletteFrom(const std::vector<PALETTEENTRY>& entries) {
  if (entries.empty() || entries.size() > 256) return 0;
  return Table().Add(entries);
}
