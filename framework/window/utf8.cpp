#include "framework/window/utf8.h"

#include <cstdint>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";
constexpr char32_t kReplacementCode = 0xFFFD;

// Length of the valid sequence starting at text[i], or 0 when it is not valid; its code point
// goes to *decoded.
std::size_t ValidSequenceLength(const AnsiString& text, std::size_t i, char32_t* decoded) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t lead = byte(i);
  if (lead == 0) return 0;
  if (lead < 0x80) {
    *decoded = lead;
    return 1;
  }
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  std::uint32_t code = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    code = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    code = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  *decoded = code;
  return length;
}

}  // namespace

AnsiString SanitizeUtf8(const AnsiString& text) {
  AnsiString result;
  result.reserve(text.size());
  std::size_t i = 0;
  char32_t ignored = 0;
  while (i < text.size()) {
    const std::size_t length = ValidSequenceLength(text, i, &ignored);
    if (length == 0) {
      result += kReplacement;
      ++i;
    } else {
      result.append(text, i, length);
      i += length;
    }
  }
  return result;
}

std::u32string DecodeUtf8(const AnsiString& text) {
  std::u32string result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t code = 0;
    const std::size_t length = ValidSequenceLength(text, i, &code);
    result += length == 0 ? kReplacementCode : code;
    i += length == 0 ? 1 : length;
  }
  return result;
}
