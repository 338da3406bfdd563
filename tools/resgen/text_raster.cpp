#include "tools/resgen/text_raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "framework/system/utf8.h"

struct MonoFont::Handles {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Handles() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

namespace {

struct InkPoint {
  int x, y;
};

void Check(FT_Error error, const char* what) {
  if (error != 0) throw std::runtime_error(std::string("FreeType: ") + what + " failed");
}

std::vector<char32_t> CodePoints(std::string_view text) {
  std::vector<char32_t> out;
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = DecodeUtf8At(text, at, code);
    if (length == 0) throw std::runtime_error("malformed UTF-8 text");
    out.push_back(code);
    at += length;
  }
  return out;
}

}  // namespace

MonoFont::MonoFont(const std::string& fontFile) : handles_(std::make_unique<Handles>()) {
  Check(FT_Init_FreeType(&handles_->library), "initialisation");
  if (FT_New_Face(handles_->library, fontFile.c_str(), 0, &handles_->face) != 0)
    throw std::runtime_error("cannot open font file " + fontFile);
}

MonoFont::~MonoFont() = default;

InkMask MonoFont::Render(const std::vector<char32_t>& codepoints, long sizeX26, long sizeY26) {
  FT_Face face = handles_->face;
  // 72 dpi makes the char size in points equal to pixels.
  Check(FT_Set_Char_Size(face, sizeX26, sizeY26, 72, 72), "setting the size");

  std::vector<InkPoint> points;
  long penX26 = 0;
  FT_UInt previous = 0;
  for (char32_t cp : codepoints) {
    const FT_UInt index = FT_Get_Char_Index(face, cp);
    if (index == 0) throw std::runtime_error("the font has no glyph for a character of the text");
    if (previous != 0 && FT_HAS_KERNING(face)) {
      FT_Vector kerning{};
      Check(FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &kerning), "kerning");
      penX26 += kerning.x;
    }
    // Monochrome target: FreeType's own two-level rasteriser with hinting for it.
    Check(FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO), "loading a glyph");
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO && bitmap.rows > 0)
      throw std::runtime_error("FreeType did not render a two-colour glyph");
    const int originX = static_cast<int>((penX26 + 32) >> 6) + slot->bitmap_left;
    const int originY = -slot->bitmap_top;  // baseline at y = 0
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      const unsigned char* line = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
      for (unsigned col = 0; col < bitmap.width; ++col) {
        if ((line[col / 8] & (0x80 >> (col % 8))) != 0)
          points.push_back({originX + static_cast<int>(col), originY + static_cast<int>(row)});
      }
    }
    penX26 += slot->advance.x;
    previous = index;
  }

  InkMask mask;
  if (points.empty()) return mask;
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  for (const InkPoint& p : points) {
    left = std::min(left, p.x);
    right = std::max(right, p.x);
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  mask.width = right - left + 1;
  mask.height = bottom - top + 1;
  mask.ink.assign(static_cast<std::size_t>(mask.width * mask.height), false);
  for (const InkPoint& p : points)
    mask.ink[static_cast<std::size_t>((p.y - top) * mask.width + (p.x - left))] = true;
  return mask;
}

InkMask MonoFont::RenderToFit(std::string_view utf8Word, int boxWidth, int boxHeight) {
  const std::vector<char32_t> codepoints = CodePoints(utf8Word);
  auto fits = [&](const InkMask& m) { return m.width <= boxWidth && m.height <= boxHeight; };

  // Sizes in 1/64 pixel, searched in 1/8-pixel steps from small to large: the ink grows with the
  // size, but hinting makes it grow in jumps, so keep the last size that fitted.
  constexpr long kStep = 8;
  long bestY = 0;
  for (long size = 4 * 64; size <= 4L * boxHeight * 64; size += kStep) {
    if (Render(codepoints, size, size).height <= boxHeight) bestY = size;
  }
  if (bestY == 0) throw std::runtime_error("the box is too small for the text");

  // Widen or narrow the face a little so the word fills the box's width too.
  long bestX = 0;
  for (long size = bestY * 4 / 5; size <= bestY * 5 / 4; size += kStep) {
    if (fits(Render(codepoints, size, bestY))) bestX = size;
  }
  if (bestX == 0) throw std::runtime_error("the box is too narrow for the text");
  return Render(codepoints, bestX, bestY);
}
