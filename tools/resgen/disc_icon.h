#pragma once
// The program's icon: a black optical disc with a faint gray sheen and a white ring around its
// transparent centre hole, anti-aliased, drawn at any size.
#include <cstdint>
#include <vector>

// Straight (not premultiplied) R, G, B, A bytes, rows top-down.
struct RgbaImage {
  int size = 0;
  std::vector<std::uint8_t> rgba;
};

RgbaImage RenderDiscIcon(int size);

// The sizes the icon file and the icon theme carry.
inline const std::vector<int>& IconSizes() {
  static const std::vector<int> sizes = {16, 24, 32, 48, 64, 72, 96, 128};
  return sizes;
}
