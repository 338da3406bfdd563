#include "framework/graphics/palette.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "framework/graphics/screen.h"

namespace {

LOGPALETTE Gray(int count) {
  LOGPALETTE log;
  log.palNumEntries = static_cast<std::uint16_t>(count);
  for (int i = 0; i < count; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    log.palPalEntry[i] = {level, level, level, 0};
  }
  return log;
}

TEST(Palette, HandlesAreCountedAndDeletedExactlyOnce) {
  const int before = GdiLiveObjectCount();
  const LOGPALETTE log = Gray(16);
  const HPALETTE first = CreatePalette(&log);
  const HPALETTE copy = CopyPalette(first);
  ASSERT_NE(first, 0U);
  ASSERT_NE(copy, 0U);
  EXPECT_NE(first, copy);
  EXPECT_EQ(GdiLiveObjectCount(), before + 2);

  EXPECT_TRUE(DeleteObject(first));
  EXPECT_FALSE(DeleteObject(first));  // twice
  EXPECT_FALSE(DeleteObject(0));
  EXPECT_EQ(GetPaletteEntries(first, 0, 16, nullptr), 0U);  // stale handle
  EXPECT_EQ(CopyPalette(first), 0U);

  // A new palette never takes the deleted one's handle.
  const HPALETTE next = CreatePalette(&log);
  EXPECT_NE(next, first);
  EXPECT_TRUE(DeleteObject(next));
  {
    OwnedPalette owned(copy);
    owned.reset(copy);  // same handle: kept, not deleted
    EXPECT_EQ(GdiLiveObjectCount(), before + 1);
  }
  EXPECT_EQ(GdiLiveObjectCount(), before);

  LOGPALETTE bad = Gray(0);
  EXPECT_EQ(CreatePalette(&bad), 0U);
  bad.palNumEntries = 257;
  EXPECT_EQ(CreatePalette(&bad), 0U);
  EXPECT_EQ(CreatePalette(nullptr), 0U);
  EXPECT_EQ(GdiLiveObjectCount(), before);
}

TEST(Palette, EntriesAreReadFromAStartIndexUpToTheEnd) {
  const LOGPALETTE log = Gray(10);
  OwnedPalette palette(CreatePalette(&log));
  EXPECT_EQ(GetPaletteEntries(palette.get(), 0, 0, nullptr), 10U);
  PALETTEENTRY entries[10] = {};
  EXPECT_EQ(GetPaletteEntries(palette.get(), 7, 10, entries), 3U);
  EXPECT_EQ(entries[0].peRed, 7);
  EXPECT_EQ(entries[2].peBlue, 9);
  EXPECT_EQ(GetPaletteEntries(palette.get(), 10, 1, entries), 0U);
}

TEST(Palette, HalftoneHoldsStaticColoursCubeAndGrays) {
  OwnedPalette halftone(CreateHalftonePalette(GetDC(0)));
  PALETTEENTRY e[256];
  ASSERT_EQ(GetPaletteEntries(halftone.get(), 0, 256, e), 256U);
  const auto rgb = [&](int i) { return std::make_tuple(e[i].peRed, e[i].peGreen, e[i].peBlue); };
  using C = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>;
  EXPECT_EQ(rgb(0), C(0, 0, 0));
  EXPECT_EQ(rgb(1), C(128, 0, 0));
  EXPECT_EQ(rgb(7), C(192, 192, 192));
  EXPECT_EQ(rgb(248), C(128, 128, 128));
  EXPECT_EQ(rgb(249), C(255, 0, 0));
  EXPECT_EQ(rgb(255), C(255, 255, 255));

  std::set<C> colours;
  for (int i = 0; i < 256; ++i) colours.insert(rgb(i));
  for (int r = 0; r <= 255; r += 51)
    for (int g = 0; g <= 255; g += 51)
      for (int b = 0; b <= 255; b += 51)
        EXPECT_TRUE(colours.count(C(r, g, b))) << r << "," << g << "," << b;
  int extraGrays = 0;
  for (int i = 10; i < 246; ++i) {
    const auto [r, g, b] = rgb(i);
    if (r == g && g == b && r % 51 != 0) ++extraGrays;
  }
  EXPECT_EQ(extraGrays, 20);
}

TEST(Screen, ReportsTheRealOrEmulatedDepth) {
  const HDC dc = GetDC(0);
  ASSERT_NE(dc, 0U);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
  SetEmulatedScreenDepth(8);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 8);
  SetEmulatedScreenDepth(0);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(0, BITSPIXEL), 0);
  EXPECT_EQ(ReleaseDC(0, dc), 1);
}

}  // namespace
