#pragma once
// Two-colour text rendering with FreeType, sized to fill a box.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A 1-bit raster: Set(x, y) is true where the text has ink. Row 0 is the top.
struct InkMask {
  int width = 0;
  int height = 0;
  std::vector<bool> ink;
  bool Set(int x, int y) const { return ink[static_cast<std::size_t>(y * width + x)]; }
};

class MonoFont {
 public:
  // Opens the face in fontFile; throws std::runtime_error when FreeType cannot.
  explicit MonoFont(const std::string& fontFile);
  ~MonoFont();
  MonoFont(const MonoFont&) = delete;
  MonoFont& operator=(const MonoFont&) = delete;

  // Renders the UTF-8 word thresholded (no gray levels) at the largest size whose ink still fits
  // boxWidth x boxHeight, and returns the ink cropped to its bounding box. The horizontal scale
  // may differ a little from the vertical one so the word fills the box's width as well.
  // Malformed UTF-8 throws std::runtime_error.
  InkMask RenderToFit(std::string_view utf8Word, int boxWidth, int boxHeight);

 private:
  InkMask Render(const std::vector<char32_t>& codepoints, long sizeX26, long sizeY26);
  struct Handles;
  std::unique_ptr<Handles> handles_;
};
