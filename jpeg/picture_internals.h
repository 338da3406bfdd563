#pragma once
// Internal to the JPEG unit: its operations on a picture's own fields (TJPEGImage names this
// class its friend). Nothing outside jpeg/ includes this header.
#include "jpeg/jpeg.h"

struct TJPEGCodecRecord;

inline bool HoldsCompressedBytes(TJPEGState state) {
  return state == TJPEGState::Compressed || state == TJPEGState::Decoded;
}

struct TJPEGImageInternals {
  // A decompressor in record that has read the picture's header and carries its options as
  // decompression parameters; the record is released again when this fails.
  static void PrepareDecoder(TJPEGImage& picture, TJPEGCodecRecord& record);
  // Brings the cached output size up to date for the picture's scale.
  static void RefreshOutputSize(TJPEGImage& picture);
  // Compresses the picture's bitmap when it holds no compressed bytes yet (blank or bitmap only).
  static void EnsureJpegStream(TJPEGImage& picture);
  // Compresses the bitmap into new bytes with the picture's save options.
  static void CompressBitmap(TJPEGImage& picture);
};
