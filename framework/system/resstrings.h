#pragma once
// The program's string table.
#include "framework/system/ansistring.h"

enum : int {
  SChangeJPGSize = 65520,  // "Cannot change the size of a JPEG image"
  SJPEGError = 65521,      // "JPEG error #%d"
  SJPEGImageFile = 65522,  // "JPEG Image File"
};

// The text of a string table entry; an unknown id gives an empty text.
AnsiString LoadResString(int id);

// printf-style formatting of a table text with one integer ("%d").
AnsiString FormatResString(int id, int value);
