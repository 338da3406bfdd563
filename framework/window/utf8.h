#pragma once
// Display text is UTF-8; captions may hold any bytes (file names), so invalid sequences are
// replaced rather than rejected.
#include "framework/system/ansistring.h"

// The text with every invalid UTF-8 sequence (and every NUL) replaced by U+FFFD.
AnsiString SanitizeUtf8(const AnsiString& text);
