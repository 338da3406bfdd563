#pragma once
// UTF-8 for the whole program. Display text is UTF-8; captions may hold any bytes (file names),
// so the display side replaces invalid sequences rather than rejecting them.
#include <cstddef>
#include <string>
#include <string_view>

#include "framework/system/ansistring.h"

// Decodes the sequence that starts at text[at] (at < text.size()) into code and returns its
// length in bytes, or returns 0 when the bytes there are no valid UTF-8: a stray or cut sequence,
// an overlong form, a surrogate or a code above U+10FFFF.
std::size_t DecodeUtf8At(std::string_view text, std::size_t at, char32_t& code);

// Appends the code's UTF-8 form (code at most U+10FFFF).
void AppendUtf8(AnsiString& out, char32_t code);

// The text with every invalid UTF-8 sequence (and every NUL) replaced by U+FFFD.
AnsiString SanitizeUtf8(const AnsiString& text);
// The text's code points, each invalid sequence (and every NUL) read as U+FFFD.
std::u32string DecodeUtf8(const AnsiString& text);
