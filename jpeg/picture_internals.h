#pragma once
// Internal to the JPEG unit: its operations on a picture's own fields (TJPEGImage names this
// class its friend). Nothing outside jpeg/ includes this header.
#include <atomic>
#include <cstddef>
#include <typeinfo>

#include "jpeg/jpeg.h"

struct TJPEGCodecRecord;
struct TJPEGWarningLog;

inline bool HoldsCompressedBytes(TJPEGState state) {
  return state == TJPEGState::Compressed || state == TJPEGState::Decoded;
}

// What a decode takes from its picture's options, copied, so that a decode on another thread
// reads nothing of the picture itself.
struct TJPEGDecodeOptions {
  bool GrayOutput;
  TJPEGPixelFormat BitmapDepth;
  TJPEGPerformance DecodeSpeed;
  bool ShowWhileLoading;
  TJPEGScale ShrinkFactor;
  bool BlockSmoothing;

  static TJPEGDecodeOptions Of(const TJPEGImage& picture) {
    return {picture.GrayOutput(),       picture.BitmapDepth(),  picture.DecodeSpeed(),
            picture.ShowWhileLoading(), picture.ShrinkFactor(), picture.BlockSmoothing()};
  }
};

// PrepareDecoder for a decode on another thread: the bytes are read in place, the library's
// warnings are kept in warnings, and the decode reports to nobody (ReportDetachedProgress).
void PrepareDetachedDecoder(const TJPEGDecodeOptions& options, const std::uint8_t* bytes,
                            std::size_t size, TJPEGWarningLog& warnings, TJPEGCodecRecord& record);

// Whether anyone can see a decode of the picture while it runs: a plain picture passes its
// notifications only to OnProgress, while a class derived from it may override them.
inline bool DecodeIsWatched(TJPEGImage& picture) {
  return typeid(picture) != typeid(TJPEGImage) || static_cast<bool>(picture.OnProgress);
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

  // Decoding ahead (decode_ahead.cpp): a picture just loaded whose decode nobody can watch is
  // decoded on a worker thread; its first GetDecodedBitmap takes that result as if it had
  // decoded there and then, or drops it and decodes itself when the picture has since become
  // watched or taken a palette. Any change of the picture's data or palette drops it first.
  static void StartDecodingAhead(TJPEGImage& picture);
  static void TakeDecodedAhead(TJPEGImage& picture);
  static void DropDecodingAhead(TJPEGImage& picture);
};

// A decode with nobody to tell, for a worker thread: the bytes (unchanged until it returns)
// into a new, empty bitmap, with options, and no held palette. It sends no notification, keeps
// the library's warnings in warnings, and stops with EAbort once cancelled is set. Returns
// whether it gave the bitmap a palette of the decoder's (the picture's palette-modified flag);
// raises what a decode on the picture's thread would raise.
bool DecodeDetached(const TJPEGDecodeOptions& options, const std::uint8_t* bytes, std::size_t size,
                    TBitmap& bitmap, const std::atomic<bool>& cancelled, TJPEGWarningLog& warnings);
