// Clipboard exchange of TBitmap as a packed DIB in a global block.
#include <cstring>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/clipboard.h"
#include "framework/system/exceptions.h"

void TBitmap::ImportClipboardData(std::uint16_t format, THandle data, HPALETTE palette) {
  if (format != CF_DIB && format != CF_BITMAP) {
    throw EInvalidGraphic("Unsupported clipboard format");
  }
  std::size_t size = 0;
  const std::uint8_t* bytes = GlobalData(data, &size);
  if (bytes == nullptr) throw EInvalidGraphic("Bitmap image is not valid");
  // The block stays the clipboard's: the DIB is read from a copy.
  TMemoryStream dib;
  dib.WriteBuffer(bytes, static_cast<std::int64_t>(size));
  dib.SetPosition(0);
  LoadDib(dib, false);
  // An indexed DIB brings its colour table; a true-colour one may come with a palette to keep.
  if (BitsPerPixel(format_) > 8 && palette != 0) ChangePalette(CopyPalette(palette));
}

void TBitmap::ExportClipboardData(std::uint16_t& format, THandle& data, HPALETTE& palette) {
  TMemoryStream dib;
  if (!IsEmpty()) SaveDib(dib, false);
  format = CF_DIB;
  data = GlobalAllocCopy(dib.Memory(), static_cast<std::size_t>(dib.GetSize()));
  palette = palette_ ? CopyPalette(palette_.get()) : 0;
}
