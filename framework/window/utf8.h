#pragma once
// Display text is UTF-8; captions may hold any bytes (file names), so invalid sequences are
// replaced rather than rejected.
#include <string>

#include "framework/system/ansistring.h"

// The text with every invalid UTF-8 sequence (and every NUL) replaced by U+FFFD.
AnsiString SanitizeUtf8(const AnsiString& text);
// The text's code points, each invalid sequence (and every NUL) read as U+FFFD.
std::u32string DecodeUtf8(const AnsiString& text);
