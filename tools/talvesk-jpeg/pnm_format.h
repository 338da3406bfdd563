#pragma once
// Netpbm's binary PPM (P6) and PGM (P5) formats with 8-bit samples (maxval 255), as djpeg writes
// them and cjpeg reads them. Plain (P1-P3), PBM (P4) and PAM (P7) files, and other maxvals, are
// refused with a message that says so.
#include "framework/classes/stream.h"
#include "tools/talvesk-jpeg/pixel_rows.h"

// Whether the first bytes of a file are a Netpbm magic number ("P1" to "P7").
bool LooksLikePnm(const std::uint8_t* start, std::size_t size);
// Reads the first picture of a P5 or P6 file into a 24-bit bitmap; returns true for P5 (gray).
// EInvalidGraphic for anything else, and for pixels the stream does not hold.
bool ReadPnm(TBitmap& bitmap, TStream& stream);
// Writes the rows as P5 (gray, only for gray rows) or P6, with djpeg's header layout.
void WritePnm(PixelRows& rows, bool gray, TStream& stream);
