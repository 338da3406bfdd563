#pragma once
// The Windows helper (drive/wine/drive_letter.c, built with mingw-w64) compiled into the program.
#include <cstdint>
#include <span>

std::span<const std::uint8_t> WineDriveHelperBytes();
