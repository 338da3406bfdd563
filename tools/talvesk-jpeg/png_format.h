#pragma once
// PNG files through libpng. Read: every colour type and depth, interlaced or not, as 8-bit colour
// (16-bit samples scaled down, transparency dropped). Written: 8-bit gray or R,G,B.
#include "framework/classes/stream.h"
#include "tools/talvesk-jpeg/pixel_rows.h"

// Whether the first bytes of a file are PNG's signature.
bool LooksLikePng(const std::uint8_t* start, std::size_t size);
// Reads a PNG file into a 24-bit bitmap; returns true when it holds gray only (its colour type
// has no colour). EInvalidGraphic with libpng's words when the file is damaged.
bool ReadPng(TBitmap& bitmap, TStream& stream);
// Writes the rows as a gray (only for gray rows) or R,G,B PNG file.
void WritePng(PixelRows& rows, bool gray, TStream& stream);
