#include "framework/system/utf8.h"

#include <cstdint>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";
constexpr char32_t kReplacementCode = 0xFFFD;

}  // namespace

std::size_t DecodeUtf8At(std::string_view text, std::size_t at, char32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t lead = byte(at);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t minimum = 0;
  char32_t value = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    value = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    value = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
    value = lead & 0x07u;
  } else {
    return 0;
  }
  if (length > text.size() - at) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(at + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(at + k) & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  code = value;
  return length;
}

void AppendUtf8(AnsiString& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

AnsiString SanitizeUtf8(const AnsiString& text) {
  AnsiString result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t code = 0;
    const std::size_t length = DecodeUtf8At(text, i, code);
    // NUL would end the text early for the C interfaces it is handed to.
    if (length == 0 || code == 0) {
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
    const std::size_t length = DecodeUtf8At(text, i, code);
    result += length == 0 || code == 0 ? kReplacementCode : code;
    i += length == 0 ? 1 : length;
  }
  return result;
}
