#pragma once
// The in-process clipboard and the global memory blocks its data handles refer to.
#include <cstddef>
#include <cstdint>

#include "framework/graphics/graphic.h"

enum : std::uint16_t { CF_BITMAP = 2, CF_DIB = 8, CF_PALETTE = 9 };

// A global memory block holding a copy of the bytes; 0 when size is 0.
THandle GlobalAllocCopy(const void* bytes, std::size_t size);
// The block's bytes and size; nullptr/0 for an unknown handle.
const std::uint8_t* GlobalData(THandle handle, std::size_t* size);
void GlobalFree(THandle handle);
int GlobalLiveBlockCount();

// Holds at most one graphic's clipboard data; the clipboard owns what is put on it.
class TClipboard {
 public:
  ~TClipboard();
  void Clear();
  // Puts the graphic's clipboard export on the clipboard.
  void Assign(TGraphic* graphic);
  bool HasFormat(std::uint16_t format) const;
  // Hands the clipboard's data to the graphic's clipboard import.
  void AssignTo(TGraphic* graphic) const;

 private:
  std::uint16_t format_ = 0;
  THandle data_ = 0;
  HPALETTE palette_ = 0;
};

TClipboard& Clipboard();
