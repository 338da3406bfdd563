#pragma once
// All entries of a palette in one call (empty for 0 or an unknown handle).
#include <vector>

#include "framework/graphics/palette.h"

std::vector<PALETTEENTRY> PaletteEntriesOf(HPALETTE palette);
// A new palette holding the entries (0 when there are none or more than 256).
HPALETTE CreatePaletteFrom(const std::vector<PALETTEENTRY>& entries);
