#pragma once
// A palette of count evenly spaced grays from black to white (just black when count is 1); 0
// when CreatePalette refuses the count.
#include "framework/graphics/palette.h"

HPALETTE GrayPalette(int count);
