#include <cstdio>

#include "framework/system/exceptions.h"
#include "framework/system/resstrings.h"

void Abort() { throw EAbort("Operation aborted"); }

AnsiString LoadResString(int id) {
  switch (id) {
    case SChangeJPGSize:
      return "Cannot change the size of a JPEG image";
    case SJPEGError:
      return "JPEG error #%d";
    case SJPEGImageFile:
      return "JPEG Image File";
    default:
      return {};
  }
}

AnsiString FormatResString(int id, int value) {
  const AnsiString format = LoadResString(id);
  const auto marker = format.find("%d");
  if (marker == AnsiString::npos) return format;
  return format.substr(0, marker) + std::to_string(value) + format.substr(marker + 2);
}
