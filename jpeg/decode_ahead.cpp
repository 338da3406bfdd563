// Decoding ahead: a picture that has just loaded its data and whose decode nobody can watch is
// decoded on a worker thread (decode_pool.cpp) while the program goes on; its first
// GetDecodedBitmap waits for that result and takes it exactly as if it had decoded there and
// then: the same bitmap, the same notifications, warnings and change, on the picture's thread.
// Whatever that decode would not have produced is dropped instead, and the picture decodes on
// its own thread as always: a decode that failed (the error is raised where it always was), one
// that a handler set since the load would watch, or one that a palette set since would change.
#include <utility>

#include "jpeg/codec.h"
#include "jpeg/decode_pool.h"
#include "jpeg/picture_internals.h"

namespace {

// The most the decoded bitmap of the picture's data can take: 24-bit rows of the header's size
// at the picture's scale (8-bit and grayscale bitmaps take less).
std::uint64_t BitmapBytesAtMost(const TJPEGData& data, TJPEGScale scale) {
  const std::uint64_t denominator = std::uint64_t{1} << static_cast<unsigned>(scale);
  const auto width = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(data.ImageWidth) + denominator - 1) / denominator);
  const std::uint64_t height =
      (static_cast<std::uint64_t>(data.ImageHeight) + denominator - 1) / denominator;
  return static_cast<std::uint64_t>(TBitmap::RowBytesFor(width, pf24bit)) * height;
}

// An 8-bit decode maps its pixels to a palette the picture holds; a 24-bit one only drops it.
bool PaletteChangesDecode(const TJPEGImage& picture) {
  return picture.HeldPaletteHandle() != 0 && picture.BitmapDepth() == bd8Bit;
}

}  // namespace

void TJPEGImageInternals::StartDecodingAhead(TJPEGImage& picture) {
  const TMemoryStream* const bytes = picture.sharedData_->JpegStream.get();
  if (picture.decodedBitmap_ || picture.decodeAhead_ || bytes == nullptr || bytes->GetSize() == 0 ||
      DecodeIsWatched(picture) || PaletteChangesDecode(picture)) {
    return;
  }
  try {
    auto job = std::make_shared<TDecodeAheadJob>(
        TJPEGDecodeOptions::Of(picture), bytes->Memory(),
        static_cast<std::size_t>(bytes->GetSize()),
        BitmapBytesAtMost(*picture.sharedData_, picture.shrinkFactor_));
    if (QueueDecodeAhead(job)) picture.decodeAhead_ = std::move(job);
  } catch (...) {
    // Only a head start: without it the picture decodes when first used, as always.
  }
}

void TJPEGImageInternals::DropDecodingAhead(TJPEGImage& picture) {
  const std::shared_ptr<TDecodeAheadJob> job = std::exchange(picture.decodeAhead_, nullptr);
  if (job) SettleDecodeAhead(*job, true);
}

void TJPEGImageInternals::TakeDecodedAhead(TJPEGImage& picture) {
  const std::shared_ptr<TDecodeAheadJob> job = std::exchange(picture.decodeAhead_, nullptr);
  if (!job) return;
  const bool usable = !DecodeIsWatched(picture) && !PaletteChangesDecode(picture);
  SettleDecodeAhead(*job, !usable);
  if (!usable || !job->Decoded || job->Warnings.Overflowed) return;

  // What the decode on this thread does around its rows, in its order.
  picture.decodedBitmap_ = job->Bitmap;
  SendProgress(picture, psStarting, 0, false, TRect{});
  picture.heldPalette_.reset();  // a 24-bit decode has no use for it
  for (const std::string& text : job->Warnings.Texts) {
    if (const TJPEGWarningHandler handler = JpegWarningHandler; handler != nullptr) {
      handler(text.c_str());
    }
  }
  if (job->PaletteModified) picture.PaletteModified = true;
  SendProgress(picture, psEnding, 100, picture.PaletteModified, TRect{});
  if (picture.PaletteModified) picture.Changed(&picture);
}
