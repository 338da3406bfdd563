#pragma once
// Appending integers to a byte buffer in the byte orders the file formats we write use.
#include <cstdint>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline void PutU8(Bytes& out, unsigned value) { out.push_back(static_cast<std::uint8_t>(value)); }

inline void PutU16LE(Bytes& out, unsigned value) {
  PutU8(out, value & 0xFF);
  PutU8(out, (value >> 8) & 0xFF);
}

inline void PutU32LE(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) PutU8(out, (value >> shift) & 0xFF);
}

inline void PutI32LE(Bytes& out, std::int32_t value) {
  PutU32LE(out, static_cast<std::uint32_t>(value));
}

inline void PutU32BE(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) PutU8(out, (value >> shift) & 0xFF);
}

inline void PutText(Bytes& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}
