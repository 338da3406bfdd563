#pragma once
// GDI-style palette objects: handles into a process-wide object table. The table counts live
// objects so tests can prove that nothing leaks and nothing is deleted twice.
#include <cstdint>
#include <utility>

// 0 is "no palette".
using HPALETTE = std::uintptr_t;
// Device context handle; only the screen's (from GetDC) exists.
using HDC = std::uintptr_t;

struct PALETTEENTRY {
  std::uint8_t peRed, peGreen, peBlue, peFlags;
};

// Variable-length in Windows; here room for the 256 entries any palette may hold.
struct LOGPALETTE {
  std::uint16_t palVersion = 0x300;
  std::uint16_t palNumEntries = 0;
  PALETTEENTRY palPalEntry[256] = {};
};

// A new palette with palNumEntries entries (1 to 256); 0 when refused.
HPALETTE CreatePalette(const LOGPALETTE* logPalette);
// Copies up to count entries from index start; returns the number copied (0 for a bad handle).
// With entries null, returns the palette's entry count.
unsigned GetPaletteEntries(HPALETTE palette, unsigned start, unsigned count, PALETTEENTRY* entries);
// The 256-entry halftone palette (the 20 system colours and a 6x6x6 colour cube).
HPALETTE CreateHalftonePalette(HDC dc);
// A new palette with the same entries; 0 for a bad handle.
HPALETTE CopyPalette(HPALETTE palette);
// Deletes a GDI object; false for 0 or a handle that is not live (deleted twice, say).
bool DeleteObject(HPALETTE object);
// Number of live GDI objects in the process.
int GdiLiveObjectCount();

// Owns one palette handle; deletes it when replaced or destroyed.
class OwnedPalette {
 public:
  OwnedPalette() = default;
  explicit OwnedPalette(HPALETTE handle) : handle_(handle) {}
  OwnedPalette(OwnedPalette&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
  OwnedPalette& operator=(OwnedPalette&& other) noexcept {
    reset(std::exchange(other.handle_, 0));
    return *this;
  }
  ~OwnedPalette() { reset(); }

  HPALETTE get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }
  void reset(HPALETTE handle = 0) {
    if (handle_ != 0 && handle_ != handle) DeleteObject(handle_);
    handle_ = handle;
  }
  HPALETTE release() { return std::exchange(handle_, 0); }

 private:
  HPALETTE handle_ = 0;
};
