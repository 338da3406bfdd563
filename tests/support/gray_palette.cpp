#include "tests/support/gray_palette.h"

HPALETTE GrayPalette(int count) {
  LOGPALETTE logical;
  logical.palNumEntries = static_cast<std::uint16_t>(count);
  for (int i = 0; i < count && i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(count > 1 ? i * 255 / (count - 1) : 0);
    logical.palPalEntry[i] = {level, level, level, 0};
  }
  return CreatePalette(&logical);
}
