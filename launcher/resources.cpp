#include "launcher/resources.h"

AnsiString PlaceholderPictureData() {
  static constexpr char kClassName[] = "TBitmap";
  const std::span<const std::uint8_t> bitmap = PlaceholderBitmapBytes();
  AnsiString data;
  data.reserve(1 + sizeof kClassName - 1 + 4 + bitmap.size());
  data += static_cast<char>(sizeof kClassName - 1);
  data += kClassName;
  const auto count = static_cast<std::uint32_t>(bitmap.size());
  for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>((count >> shift) & 0xFF);
  data.append(reinterpret_cast<const char*>(bitmap.data()), bitmap.size());
  return data;
}
