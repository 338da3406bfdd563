#include "launcher/resources.h"

#include "framework/system/little_endian.h"

AnsiString PlaceholderPictureData() {
  static constexpr char kClassName[] = "TBitmap";
  const std::span<const std::uint8_t> bitmap = PlaceholderBitmapBytes();
  AnsiString data;
  data.reserve(1 + sizeof kClassName - 1 + 4 + bitmap.size());
  data += static_cast<char>(sizeof kClassName - 1);
  data += kClassName;
  const auto count = static_cast<std::uint32_t>(bitmap.size());
  AppendLE32(data, count);
  data.append(reinterpret_cast<const char*>(bitmap.data()), bitmap.size());
  return data;
}
