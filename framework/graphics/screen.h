#pragma once
// The screen's device context and its capabilities.
#include "framework/graphics/palette.h"

using HWND = std::uintptr_t;
enum : int { BITSPIXEL = 12, PLANES = 14 };

// The screen's device context (window 0 only); release it with ReleaseDC.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
// BITSPIXEL and PLANES of the screen; 0 for other indices.
int GetDeviceCaps(HDC dc, int index);

// The display's real depth, set by the window backend when it knows it (32 until then).
void SetScreenDepth(int bitsPerPixel);
// Tests emulate another depth (8 reaches the paletted paths); 0 returns to the real depth.
void SetEmulatedScreenDepth(int bitsPerPixel);
