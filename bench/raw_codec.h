#pragma once
// The baselines: libjpeg-turbo driven directly, writing rows into (or reading them from) a plain
// buffer laid out like the framework's bitmaps — rows padded to 4 bytes, bottom-up or top-down,
// B,G,R pixels or 8-bit indices — with the parameters the picture unit gives the library.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
// clang-format on

namespace bench {

struct RawDecodeParams {
  unsigned scaleDenom = 1;
  bool grayOutput = false;  // JCS_GRAYSCALE instead of the file's colour space
  bool quantize = false;    // colour-mapped 8-bit output
  int colors = 236;
  bool twoPass = true;
  J_DITHER_MODE dither = JDITHER_FS;
  J_DCT_METHOD dctMethod = JDCT_FLOAT;
  bool blockSmoothing = true;
  // Pass-by-pass display of a multi-scan file: one full output pass per scan at fast settings,
  // then a final pass at the settings above.
  bool bufferedImage = false;
  bool bottomUp = true;
  // 0: the library reads the whole file in place (jpeg_mem_src). Otherwise the file is copied
  // to the library in blocks of this many bytes, as a stream source does.
  std::size_t sourceBlock = 0;
};

// The picture unit's parameters for 24-bit output at best quality.
RawDecodeParams Decode24();
// The picture unit's parameters for 8-bit (and grayscale) output at best quality.
RawDecodeParams Decode8();

struct RawImage {
  int width = 0;
  int height = 0;
  int bytesPerPixel = 0;
  std::ptrdiff_t rowBytes = 0;  // padded to 4
  bool bottomUp = true;
  // The decodes' rows go into memory that the previous decode wrote, kept for the process and
  // in huge pages: the kind of memory the picture unit's bitmaps get (a bitmap decoded after
  // another of its size reuses the framework's kept block), so that only the decoding is
  // compared. A new buffer's pages the kernel must fault in and clear first (for 4000 x 3000:
  // some 8,800 faults, 30-100 ms here, no work of the library's). Valid until the next decode.
  std::shared_ptr<std::uint8_t[]> pixels;
  int colorCount = 0;
  std::array<std::uint32_t, 256> palette{};  // 0x00RRGGBB, for 8-bit output

  const std::uint8_t* Row(int y) const {
    const int stored = bottomUp ? height - 1 - y : y;
    return pixels.get() + static_cast<std::ptrdiff_t>(stored) * rowBytes;
  }
};

// Decodes a complete JPEG file held in memory; throws std::runtime_error on a library error.
RawImage RawDecode(const std::uint8_t* data, std::size_t size, const RawDecodeParams& params);

struct RawCompressParams {
  int width = 0;
  int height = 0;
  int components = 3;
  J_COLOR_SPACE inColorSpace = JCS_EXT_BGR;
  int quality = 90;
  bool progressive = false;
  J_DCT_METHOD dctMethod = JDCT_FLOAT;
};

// Compresses rows starting at firstRow, stepping by rowStride (negative for bottom-up storage),
// handing the library rowsPerCall rows at a time; output goes to out in 4096-byte blocks.
void RawCompress(const RawCompressParams& params, const std::uint8_t* firstRow,
                 std::ptrdiff_t rowStride, int rowsPerCall, std::vector<std::uint8_t>& out);

}  // namespace bench
