#include "framework/graphics/palette.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "framework/graphics/screen.h"
#include "tests/support/gray_palette.h"

namespace {

TEST(Palette, HandlesAreCountedDeletedOnceAndNotReused) {
  const int before = GdiLiveObjectCount();
  const HPALETTE first = GrayPalette(10);
  const HPALETTE copy = CopyPalette(first);
  EXPECT_EQ(GdiLiveObjectCount(), before + 2);
  PALETTEENTRY entries[10] = {};
  EXPECT_EQ(GetPaletteEntries(copy, 0, 0, nullptr), 10U);
  EXPECT_EQ(GetPaletteEntries(copy, 7, 10, entries), 3U);  // up to the end
  EXPECT_EQ(entries[2].peBlue, 255);                       // entry 9 of 10

  EXPECT_TRUE(DeleteObject(first));
  EXPECT_FALSE(DeleteObject(first));
  EXPECT_EQ(GetPaletteEntries(first, 0, 10, entries), 0U);
  EXPECT_EQ(CopyPalette(first), 0U);
  const HPALETTE next = GrayPalette(1);
  EXPECT_NE(next, first);
  EXPECT_TRUE(DeleteObject(next));
  { OwnedPalette owned(copy); }
  EXPECT_EQ(GrayPalette(0), 0U);
  EXPECT_EQ(GrayPalette(257), 0U);
}

TEST(Palette, HalftoneHoldsStaticColoursCubeAndTwentyGrays) {
  OwnedPalette halftone(CreateHalftonePalette(GetDC(0)));
  PALETTEENTRY e[256];
  ASSERT_EQ(GetPaletteEntries(halftone.get(), 0, 256, e), 256U);
  using C = std::tuple<int, int, int>;
  const auto rgb = [&](int i) { return C(e[i].peRed, e[i].peGreen, e[i].peBlue); };
  EXPECT_EQ(rgb(1), C(128, 0, 0));
  EXPECT_EQ(rgb(9), C(166, 202, 240));
  EXPECT_EQ(rgb(246), C(255, 251, 240));
  EXPECT_EQ(rgb(249), C(255, 0, 0));
  EXPECT_EQ(rgb(255), C(255, 255, 255));
  std::set<C> colours;
  int extraGrays = 0;
  for (int i = 0; i < 256; ++i) {
    colours.insert(rgb(i));
    const auto [r, g, b] = rgb(i);
    if (i >= 10 && i < 246 && r == g && g == b && r % 51 != 0) ++extraGrays;
  }
  for (int r = 0; r <= 255; r += 51)
    for (int g = 0; g <= 255; g += 51)
      for (int b = 0; b <= 255; b += 51) EXPECT_EQ(colours.count(C(r, g, b)), 1U);
  EXPECT_EQ(extraGrays, 20);
}

}  // namespace
