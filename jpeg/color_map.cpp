// The conversions between GDI palettes and a decompressor's colour map (one row per output
// component, in the decoder's B,G,R output order).
#include "framework/graphics/palette.h"
#include "jpeg/codec.h"

namespace {

constexpr int kMaxPaletteEntries = 256;

}  // namespace

HPALETTE ColorMapToPalette(j_decompress_ptr codec) {
  LOGPALETTE palette;
  palette.palVersion = 0x300;
  const int count = codec->actual_number_of_colors < kMaxPaletteEntries
                        ? codec->actual_number_of_colors
                        : kMaxPaletteEntries;
  palette.palNumEntries = static_cast<std::uint16_t>(count);
  const bool gray = codec->out_color_space == JCS_GRAYSCALE;
  for (int i = 0; i < count; ++i) {
    PALETTEENTRY& entry = palette.palPalEntry[i];
    if (gray) {
      entry.peRed = entry.peGreen = entry.peBlue = codec->colormap[0][i];
    } else {
      entry.peRed = codec->colormap[2][i];
      entry.peGreen = codec->colormap[1][i];
      entry.peBlue = codec->colormap[0][i];
    }
    entry.peFlags = 0;
  }
  return CreatePalette(&palette);
}

void PaletteToColorMap(j_decompress_ptr codec, HPALETTE palette) {
  PALETTEENTRY entries[kMaxPaletteEntries];
  const unsigned count = GetPaletteEntries(palette, 0, kMaxPaletteEntries, entries);
  if (count == 0) return;
  JpegGuard(ManagerOf(codec), [&] {
    JSAMPARRAY map =
        (*codec->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(codec), JPOOL_IMAGE, count, 3);
    for (unsigned i = 0; i < count; ++i) {
      map[2][i] = entries[i].peRed;
      map[1][i] = entries[i].peGreen;
      map[0][i] = entries[i].peBlue;
    }
    codec->colormap = map;
    codec->actual_number_of_colors = static_cast<int>(count);
  });
}
