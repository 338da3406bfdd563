#pragma once
// The real program's choice of window system: an SDL2 window (TSdlBackend) and text through
// fontconfig and SDL2_ttf (TTextRenderer). Tests choose the headless backend instead.
void UseSdlWindowSystem();
