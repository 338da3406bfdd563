// BMP files and packed DIBs: BITMAPFILEHEADER, BITMAPINFOHEADER (or a later header that starts
// with it), a colour table for the indexed formats, then the rows exactly as the bitmap holds
// them in memory.
#include <cstring>
#include <limits>
#include <vector>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/palette_entries.h"
#include "framework/system/exceptions.h"
#include "framework/system/little_endian.h"

namespace {

constexpr std::uint32_t kRgb = 0;        // BI_RGB
constexpr std::uint32_t kBitFields = 3;  // BI_BITFIELDS
constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

std::int64_t Remaining(TStream& stream) { return stream.GetSize() - stream.GetPosition(); }

// Reads exactly count bytes or rejects the image; never reads past what the stream holds.
void Take(TStream& stream, void* buffer, std::int64_t count) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    const std::int64_t got = stream.Read(bytes, count);
    if (got <= 0) Invalid();
    bytes += got;
    count -= got;
  }
}

void Skip(TStream& stream, std::int64_t count) {
  if (count < 0 || count > Remaining(stream)) Invalid();
  if (count > 0) stream.Seek(count, TSeekOrigin::soCurrent);
}

TPixelFormat FormatForBits(std::uint16_t bits) {
  switch (bits) {
    case 1:
      return pf1bit;
    case 4:
      return pf4bit;
    case 8:
      return pf8bit;
    case 24:
      return pf24bit;
    case 32:
      return pf32bit;
    default:
      Invalid();
  }
}

}  // namespace

void TBitmap::LoadDib(TStream& stream, bool withFileHeader) {
  RefuseWhileFilled();
  std::int64_t consumed = 0;  // bytes from the start of the DIB, to find the pixel offset
  std::uint32_t pixelOffset = 0;
  if (withFileHeader) {
    std::uint8_t fileHeader[kFileHeaderSize];
    Take(stream, fileHeader, kFileHeaderSize);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') Invalid();
    pixelOffset = ReadLE32(fileHeader + 10);
    consumed += kFileHeaderSize;
  }

  std::uint8_t header[124] = {};
  Take(stream, header, 4);
  const std::uint32_t headerSize = ReadLE32(header);
  if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
      headerSize != 124) {
    Invalid();
  }
  Take(stream, header + 4, headerSize - 4);
  consumed += headerSize;

  const auto width = static_cast<std::int32_t>(ReadLE32(header + 4));
  const auto signedHeight = static_cast<std::int32_t>(ReadLE32(header + 8));
  const std::uint16_t planes = ReadLE16(header + 12);
  const std::uint16_t bitCount = ReadLE16(header + 14);
  const std::uint32_t compression = ReadLE32(header + 16);
  const auto xPels = static_cast<std::int32_t>(ReadLE32(header + 24));
  const auto yPels = static_cast<std::int32_t>(ReadLE32(header + 28));
  const std::uint32_t coloursUsed = ReadLE32(header + 32);
  if (width <= 0 || signedHeight == 0 || signedHeight == std::numeric_limits<std::int32_t>::min() ||
      planes != 1) {
    Invalid();
  }
  const TPixelFormat format = FormatForBits(bitCount);
  const bool topDown = signedHeight < 0;
  const int height = topDown ? -signedHeight : signedHeight;

  if (compression == kBitFields) {
    // Only the standard 8-8-8 layout of 32-bit pixels, which is the same as BI_RGB.
    if (bitCount != 32) Invalid();
    std::uint8_t masks[12];
    if (headerSize >= 52) {
      std::memcpy(masks, header + 40, 12);
    } else {
      Take(stream, masks, 12);
      consumed += 12;
    }
    if (ReadLE32(masks) != 0x00FF0000U || ReadLE32(masks + 4) != 0x0000FF00U ||
        ReadLE32(masks + 8) != 0x000000FFU) {
      Invalid();
    }
  } else if (compression != kRgb) {
    Invalid();
  }

  std::vector<PALETTEENTRY> entries;
  const int bits = BitsPerPixel(format);
  if (bits <= 8) {
    const std::uint32_t tableSize = coloursUsed == 0 ? 1U << bits : coloursUsed;
    if (tableSize > (1U << bits)) Invalid();
    std::uint8_t table[256 * 4];
    Take(stream, table, tableSize * 4);
    for (std::uint32_t i = 0; i < tableSize; ++i) {
      entries.push_back({table[4 * i + 2], table[4 * i + 1], table[4 * i], 0});
    }
    consumed += tableSize * 4;
  } else if (!withFileHeader || pixelOffset == 0) {
    // 24 or 32 bits may still carry a colour table; without an offset the pixels follow it.
    Skip(stream, std::int64_t{coloursUsed} * 4);
    consumed += std::int64_t{coloursUsed} * 4;
  }
  if (withFileHeader && pixelOffset != 0) {
    if (pixelOffset < consumed) Invalid();
    Skip(stream, pixelOffset - consumed);
  }

  // Size and presence of the pixels are settled before anything is allocated for them.
  if (RowBytesFor(width, format) > kMaxPixelBytes / height) Invalid();
  const std::int64_t imageBytes = RowBytesFor(width, format) * height;
  if (imageBytes > Remaining(stream)) Invalid();
  PixelBlock pixels = AllocatePixels(width, height, format);
  Take(stream, pixels.get(), imageBytes);
  OwnedPalette palette(CreatePaletteFrom(entries));

  ReplaceImage(width, height, format, std::move(pixels));
  topDown_ = topDown;
  palette_ = std::move(palette);
  xPelsPerMeter_ = xPels;
  yPelsPerMeter_ = yPels;
  PaletteModified = true;
  Changed(this);
}

void TBitmap::SaveDib(TStream& stream, bool withFileHeader) const {
  const int bits = BitsPerPixel(format_);
  std::vector<PALETTEENTRY> entries;
  std::uint32_t coloursUsed = 0;
  if (bits <= 8) {
    // The table holds the palette's entries (biClrUsed says how many); a bitmap without a
    // palette gets a full table of black, which is how its pixels show.
    entries = PaletteEntriesOf(palette_.get());
    if (entries.size() > (1U << bits)) entries.resize(1U << bits);
    coloursUsed = static_cast<std::uint32_t>(entries.size());
    if (entries.empty()) entries.resize(1U << bits, PALETTEENTRY{0, 0, 0, 0});
  }
  const auto tableBytes = static_cast<std::uint32_t>(entries.size() * 4);
  const std::int64_t imageBytes = RowBytes() * height_;
  const std::int64_t headersBytes =
      (withFileHeader ? kFileHeaderSize : 0) + kInfoHeaderSize + tableBytes;

  std::vector<std::uint8_t> headers(static_cast<std::size_t>(headersBytes));
  std::uint8_t* info = headers.data();
  if (withFileHeader) {
    headers[0] = 'B';
    headers[1] = 'M';
    WriteLE32(&headers[2], static_cast<std::uint32_t>(headersBytes + imageBytes));
    WriteLE32(&headers[10], static_cast<std::uint32_t>(headersBytes));
    info += kFileHeaderSize;
  }
  WriteLE32(info, kInfoHeaderSize);
  WriteLE32(info + 4, static_cast<std::uint32_t>(width_));
  WriteLE32(info + 8, static_cast<std::uint32_t>(topDown_ ? -height_ : height_));
  WriteLE16(info + 12, 1);
  WriteLE16(info + 14, static_cast<std::uint16_t>(bits));
  WriteLE32(info + 16, kRgb);
  WriteLE32(info + 20, static_cast<std::uint32_t>(imageBytes));
  WriteLE32(info + 24, static_cast<std::uint32_t>(xPelsPerMeter_));
  WriteLE32(info + 28, static_cast<std::uint32_t>(yPelsPerMeter_));
  WriteLE32(info + 32, coloursUsed);
  std::uint8_t* table = info + kInfoHeaderSize;
  for (const PALETTEENTRY& entry : entries) {
    *table++ = entry.peBlue;
    *table++ = entry.peGreen;
    *table++ = entry.peRed;
    *table++ = 0;
  }
  stream.WriteBuffer(headers.data(), headersBytes);
  stream.WriteBuffer(pixels_.get(), imageBytes);
}

// An empty bitmap is stored as no bytes at all, and no bytes read back as an empty bitmap.
void TBitmap::ReadFromStream(TStream& stream) {
  if (Remaining(stream) <= 0) {
    SetHandle(0);
    return;
  }
  LoadDib(stream, true);
}

void TBitmap::WriteToStream(TStream& stream) {
  if (IsEmpty()) return;
  SaveDib(stream, true);
}
