#include "tools/resgen/png_writer.h"

#include "tools/resgen/zlib_stream.h"

namespace {

void PutChunk(Bytes& out, const char (&type)[5], const Bytes& body) {
  PutU32BE(out, static_cast<std::uint32_t>(body.size()));
  const std::size_t typeAt = out.size();
  PutText(out, type);
  out.insert(out.end(), body.begin(), body.end());
  // The CRC covers the type and the body.
  PutU32BE(out, Crc32(std::span(out).subspan(typeAt)));
}

}  // namespace

Bytes EncodePng(const RgbaImage& image) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

  Bytes header;
  PutU32BE(header, static_cast<std::uint32_t>(image.size));
  PutU32BE(header, static_cast<std::uint32_t>(image.size));
  PutU8(header, 8);  // bits per sample
  PutU8(header, 6);  // RGBA
  PutU8(header, 0);  // deflate
  PutU8(header, 0);  // adaptive filtering
  PutU8(header, 0);  // no interlace
  PutChunk(out, "IHDR", header);

  // Every row with filter 0 (none): the LZ77 stage already finds the long runs.
  const std::size_t rowBytes = static_cast<std::size_t>(image.size) * 4;
  Bytes raw;
  raw.reserve((rowBytes + 1) * static_cast<std::size_t>(image.size));
  for (int y = 0; y < image.size; ++y) {
    raw.push_back(0);
    const auto row =
        image.rgba.begin() + static_cast<std::ptrdiff_t>(rowBytes * static_cast<std::size_t>(y));
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
  }
  PutChunk(out, "IDAT", ZlibCompress(raw));
  PutChunk(out, "IEND", {});
  return out;
}
