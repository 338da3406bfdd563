#pragma once
// Little-endian integers in byte buffers: the byte order of BMP and icon files and of the counts
// in form payloads, whatever the host's own order.
#include <cstdint>

constexpr std::uint16_t ReadLE16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

constexpr std::uint32_t ReadLE32(const std::uint8_t* bytes) {
  return bytes[0] | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

constexpr void WriteLE16(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr void WriteLE32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Appends the value's four bytes to a byte container (std::vector<std::uint8_t>, std::string).
template <typename Container>
void AppendLE32(Container& out, std::uint32_t value) {
  std::uint8_t bytes[4];
  WriteLE32(bytes, value);
  for (std::uint8_t byte : bytes) out.push_back(static_cast<typename Container::value_type>(byte));
}

template <typename Container>
void AppendLE16(Container& out, std::uint16_t value) {
  std::uint8_t bytes[2];
  WriteLE16(bytes, value);
  for (std::uint8_t byte : bytes) out.push_back(static_cast<typename Container::value_type>(byte));
}
