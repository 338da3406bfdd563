#pragma once
// The real program's choice of window system: an SDL2 window (TSdlBackend) and text drawn with
// FreeType from the built-in caption font (TTextRenderer). Tests choose the headless backend.
void UseSdlWindowSystem();
