#include "framework/window/text_renderer.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "framework/system/utf8.h"
#include "framework/window/caption_font.h"

namespace {

constexpr unsigned kLayoutDpi = 96;
constexpr int kMaxPointSize = 400;  // beyond any caption; bounds the glyph bitmaps

// 26.6 fixed point to whole pixels, rounding up (also for negative values).
int CeilPixels(FT_Pos value) { return static_cast<int>((value + 63) >> 6); }

struct LineMetrics {
  int ascent = 0;  // baseline below the line's top
  int height = 0;
};

LineMetrics MetricsOf(FT_Face face) {
  const FT_Fixed scale = face->size->metrics.y_scale;
  // The line is the face's whole extent, rounded up once (8 points at 96 DPI: 13 pixels).
  return {CeilPixels(FT_MulFix(face->ascender, scale)),
          CeilPixels(FT_MulFix(face->ascender - face->descender, scale))};
}

// Renders the line's glyphs one after another, calling visit(column, glyph) with the glyph's
// bitmap and its left column relative to the pen's start. Returns the columns the line covers,
// {first, end}, counting both the ink and the advance.
template <typename Visit>
std::pair<int, int> Layout(FT_Face face, const AnsiString& text, Visit&& visit) {
  FT_Pos pen = 0;
  FT_UInt previous = 0;
  int first = 0;
  int end = 0;
  for (const char32_t code : DecodeUtf8(text)) {
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if (previous != 0 && index != 0 && FT_HAS_KERNING(face)) {
      FT_Vector kerning{};
      if (FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &kerning) == 0) {
        pen += kerning.x;
      }
    }
    previous = index;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) continue;
    const FT_GlyphSlot glyph = face->glyph;
    if (FT_Render_Glyph(glyph, FT_RENDER_MODE_NORMAL) != 0) continue;
    const int column = static_cast<int>(pen >> 6) + glyph->bitmap_left;
    first = std::min(first, column);
    end = std::max(end, column + static_cast<int>(glyph->bitmap.width));
    visit(column, glyph);
    pen += glyph->advance.x;
  }
  return {first, std::max(end, CeilPixels(pen))};
}

}  // namespace

TTextRenderer& TTextRenderer::Instance() {
  static TTextRenderer renderer;
  return renderer;
}

TTextRenderer::~TTextRenderer() {
  for (auto& entry : faces_) {
    if (entry.second != nullptr) FT_Done_Face(entry.second);
  }
  if (library_ != nullptr) FT_Done_FreeType(library_);
}

int TTextRenderer::PointSize(int height) {
  const double pixels = height < 0 ? -static_cast<double>(height) : static_cast<double>(height);
  const long points = std::lround(pixels * 72.0 / kLayoutDpi);
  if (points < 1) return 1;
  return points > kMaxPointSize ? kMaxPointSize : static_cast<int>(points);
}

FT_Face TTextRenderer::FaceFor(const TFont& font) {
  if (failed_) return nullptr;
  const int points = PointSize(font.Height);
  const auto cached = faces_.find(points);
  if (cached != faces_.end()) return cached->second;

  FT_Error error = library_ == nullptr ? FT_Init_FreeType(&library_) : 0;
  FT_Face face = nullptr;
  if (error == 0) {
    const auto bytes = CaptionFontBytes();
    error =
        FT_New_Memory_Face(library_, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face);
  }
  if (error == 0) {
    error = FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(points) * 64, kLayoutDpi, kLayoutDpi);
    if (error != 0) {
      FT_Done_Face(face);
      face = nullptr;
    }
  }
  if (error != 0) {
    // Only an allocation failure or a damaged build gets here; say so once and draw no text.
    failed_ = true;
    std::fprintf(stderr,
                 "talvesk: the caption font cannot be opened (FreeType error %d); text is "
                 "not drawn\n",
                 error);
    return nullptr;
  }
  faces_[points] = face;
  return face;
}

TPoint TTextRenderer::Measure(const TFont& font, const AnsiString& text) {
  const FT_Face face = FaceFor(font);
  if (face == nullptr) return {};
  const auto [first, end] = Layout(face, text, [](int, FT_GlyphSlot) {});
  return {end - first, MetricsOf(face).height};
}

void TTextRenderer::Draw(const TSurface& surface, int x, int y, const TFont& font,
                         const AnsiString& text) {
  if (text.empty() || surface.pixels == nullptr) return;
  const FT_Face face = FaceFor(font);
  if (face == nullptr) return;
  const LineMetrics line = MetricsOf(face);
  const std::uint32_t red = GetRValue(font.Color);
  const std::uint32_t green = GetGValue(font.Color);
  const std::uint32_t blue = GetBValue(font.Color);

  // The line starts at its leftmost ink, as Measure counts it.
  int shift = 0;
  Layout(face, text, [&](int column, FT_GlyphSlot) { shift = std::min(shift, column); });
  Layout(face, text, [&](int column, FT_GlyphSlot glyph) {
    const FT_Bitmap& bitmap = glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.num_grays != 256) return;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      const int lineY = line.ascent - glyph->bitmap_top + static_cast<int>(row);
      const int targetY = y + lineY;
      if (lineY < 0 || lineY >= line.height || targetY < 0 || targetY >= surface.height) continue;
      const std::uint8_t* coverage =
          bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
      std::uint32_t* target =
          surface.pixels + static_cast<std::ptrdiff_t>(targetY) * surface.pitchPixels;
      for (unsigned dot = 0; dot < bitmap.width; ++dot) {
        const int targetX = x + column - shift + static_cast<int>(dot);
        const std::uint32_t alpha = coverage[dot];
        if (alpha == 0 || targetX < 0 || targetX >= surface.width) continue;
        const std::uint32_t under = target[targetX];
        const auto mix = [alpha](std::uint32_t over, std::uint32_t below) {
          return (over * alpha + below * (255 - alpha) + 127) / 255;
        };
        target[targetX] = (mix(red, (under >> 16) & 0xFF) << 16) |
                          (mix(green, (under >> 8) & 0xFF) << 8) | mix(blue, under & 0xFF);
      }
    }
  });
}
