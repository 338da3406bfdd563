#include "framework/window/text_renderer.h"

#include <SDL2/SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "framework/system/utf8.h"

namespace {

constexpr unsigned kLayoutDpi = 96;
constexpr int kMaxPointSize = 400;  // beyond any caption; bounds the glyph surfaces

struct SurfaceDeleter {
  void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};

}  // namespace

TTextRenderer& TTextRenderer::Instance() {
  static TTextRenderer renderer;
  return renderer;
}

TTextRenderer::~TTextRenderer() {
  for (auto& entry : fonts_) {
    if (entry.second != nullptr) TTF_CloseFont(entry.second);
  }
  if (ttfStarted_) TTF_Quit();
  if (fontconfigUsed_) FcFini();
}

int TTextRenderer::PointSize(int height) {
  const double pixels = height < 0 ? -static_cast<double>(height) : static_cast<double>(height);
  const long points = std::lround(pixels * 72.0 / kLayoutDpi);
  if (points < 1) return 1;
  return points > kMaxPointSize ? kMaxPointSize : static_cast<int>(points);
}

AnsiString TTextRenderer::FindFontFile(const AnsiString& name) {
  const auto cached = files_.find(name);
  if (cached != files_.end()) return cached->second;
  fontconfigUsed_ = true;
  AnsiString file;
  if (FcPattern* pattern = FcPatternCreate()) {
    // Names fontconfig does not know (old bitmap faces) fall back to a sans-serif face.
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
      FcChar8* path = nullptr;
      if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path != nullptr) {
        file = reinterpret_cast<const char*>(path);
      }
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
  files_[name] = file;
  return file;
}

TTF_Font* TTextRenderer::FontFor(const TFont& font) {
  const int points = PointSize(font.Height);
  const auto key = std::make_pair(font.Name, points);
  const auto cached = fonts_.find(key);
  if (cached != fonts_.end()) return cached->second;

  TTF_Font* opened = nullptr;
  if (!ttfStarted_ && TTF_Init() == 0) ttfStarted_ = true;
  AnsiString file;
  if (ttfStarted_) {
    file = FindFontFile(font.Name);
    if (!file.empty()) opened = TTF_OpenFontDPI(file.c_str(), points, kLayoutDpi, kLayoutDpi);
  }
  if (opened == nullptr && !warned_) {
    warned_ = true;
    std::fprintf(stderr, "talvesk: no usable font for \"%s\" (%s); text is not drawn\n",
                 font.Name.c_str(), file.empty() ? "no font file found" : TTF_GetError());
  }
  fonts_[key] = opened;
  return opened;
}

TPoint TTextRenderer::Measure(const TFont& font, const AnsiString& text) {
  TTF_Font* ttf = FontFor(font);
  if (ttf == nullptr) return {};
  if (text.empty()) return {0, TTF_FontHeight(ttf)};
  int width = 0;
  int height = 0;
  if (TTF_SizeUTF8(ttf, SanitizeUtf8(text).c_str(), &width, &height) != 0) return {};
  return {width, height};
}

void TTextRenderer::Draw(const TSurface& surface, int x, int y, const TFont& font,
                         const AnsiString& text) {
  if (text.empty() || surface.pixels == nullptr) return;
  TTF_Font* ttf = FontFor(font);
  if (ttf == nullptr) return;
  // Rendered in white; the alpha channel is the coverage we blend the font colour with.
  const std::unique_ptr<SDL_Surface, SurfaceDeleter> glyphs(
      TTF_RenderUTF8_Blended(ttf, SanitizeUtf8(text).c_str(), SDL_Color{255, 255, 255, 255}));
  if (!glyphs) return;
  const std::unique_ptr<SDL_Surface, SurfaceDeleter> argb(
      SDL_ConvertSurfaceFormat(glyphs.get(), SDL_PIXELFORMAT_ARGB8888, 0));
  if (!argb) return;

  const std::uint32_t red = GetRValue(font.Color);
  const std::uint32_t green = GetGValue(font.Color);
  const std::uint32_t blue = GetBValue(font.Color);
  for (int row = 0; row < argb->h; ++row) {
    const int targetY = y + row;
    if (targetY < 0 || targetY >= surface.height) continue;
    const auto* source =
        reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(argb->pixels) +
                                               static_cast<std::ptrdiff_t>(row) * argb->pitch);
    std::uint32_t* target =
        surface.pixels + static_cast<std::ptrdiff_t>(targetY) * surface.pitchPixels;
    for (int column = 0; column < argb->w; ++column) {
      const int targetX = x + column;
      if (targetX < 0 || targetX >= surface.width) continue;
      const std::uint32_t alpha = source[column] >> 24;
      if (alpha == 0) continue;
      const std::uint32_t under = target[targetX];
      const auto mix = [alpha](std::uint32_t over, std::uint32_t below) {
        return (over * alpha + below * (255 - alpha) + 127) / 255;
      };
      target[targetX] = (mix(red, (under >> 16) & 0xFF) << 16) |
                        (mix(green, (under >> 8) & 0xFF) << 8) | mix(blue, under & 0xFF);
    }
  }
}
