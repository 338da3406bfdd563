// Decoding a picture's JPEG bytes into its bitmap, straight into the bitmap's rows, with
// pass-by-pass display of progressive files.
#include <jerror.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "framework/system/exceptions.h"
#include "jpeg/codec.h"
#include "jpeg/ink.h"
#include "jpeg/picture_internals.h"

namespace {

// Work bounds. A JPEG's dimensions cost nothing to announce: a few hundred bytes that end early
// decode, padded by the library, into a whole image, and every pixel costs time however little
// data there is (the library works through every block of the full size, whatever the scale).
// Any file may announce 2^28 pixels (16384 x 16384): flat pictures hold very few bytes (two bits
// per 8 x 8 block, or less), and a plain decode of that size costs seconds at most. Above that the
// file must back its size, with at least a byte per 128 pixels (photos and scans take ten times
// more). Memory is bounded apart: the bitmap and the library's own, 1 GiB each; what scans may
// cost, by EnforceScanBounds.
constexpr std::uint64_t kPixelsPerFileByte = 128;
constexpr std::uint64_t kUnbackedPixels = std::uint64_t{1} << 28;
// Passes shown while loading: one per scan (ordinary files have 6 to 12), but each repeats the
// output work, so at most 16 of them, and together at most 2^28 output pixels, whatever the
// file's size: a file of many cheap scans cannot buy more of them with bytes that cost it
// nothing. With two-pass colour quantisation enabled the library maps those passes through its
// slow inverse colour map, so they count eight times. After that the remaining scans are read
// without being shown.
constexpr std::uint64_t kMaxShownPasses = 16;
constexpr std::uint64_t kShownPixels = std::uint64_t{1} << 28;
constexpr std::uint64_t kInverseMapPassWeight = 8;

// One run of GetDecodedBitmap from the prepared decoder to the ending notification. Without a
// picture (a decode on another thread) it sends no notification and only notes a palette change.
class DecodeRun {
 public:
  DecodeRun(TJPEGImage* picture, const TJPEGDecodeOptions& options, OwnedPalette& heldPalette,
            TBitmap& bitmap, TJPEGCodecRecord& record)
      : picture_(picture),
        options_(options),
        heldPalette_(heldPalette),
        bitmap_(bitmap),
        record_(record),
        codec_(record.Codec.Decompressor),
        filling_(bitmap) {}

  void Execute() {
    SelectInkOutput();
    record_.ProgressState.BeforeRunning = [](void* run) {
      static_cast<DecodeRun*>(run)->ClearRowsAhead();
    };
    record_.ProgressState.BeforeRunningContext = this;
    // The bitmap is new and empty; only its pixel format is to be chosen.
    filling_.SetPixelFormat(codec_.quantize_colors || inkOutput_ != TInkOutput::Colour24 ? pf8bit
                                                                                         : pf24bit);
    if (picture_ != nullptr) SendProgress(*picture_, psStarting, 0, false, TRect{});
    try {
      Decode();
    } catch (...) {
      ClearUnwrittenRows();
      Finish(0);
      throw;
    }
    Finish(100);
  }

  // Whether the run gave the bitmap a palette of the decoder's.
  bool PaletteModified() const { return paletteModified_; }

 private:
  void Guard(auto&& call) { JpegGuard(record_.ErrorManager, call); }

  void Decode() {
    TakeHeldPalette();
    CheckWorkBounds();
    Guard([&] { jpeg_start_decompress(&codec_); });
    CheckRowLayout();
    if (codec_.out_color_space == JCS_CMYK) PrepareInkRows();

    // Every row is written or, on failure, cleared, so the memory need not be cleared first.
    filling_.SetSizeUncleared(static_cast<int>(codec_.output_width),
                              static_cast<int>(codec_.output_height));
    MeasureRows();

    if (codec_.buffered_image) ShowPassesWhileLoading();

    // Whatever passes were shown, the final one's indices refer to the decoder's map.
    if (codec_.colormap != nullptr && codec_.colormap != paletteMap_ && PaletteFollowsDecoder()) {
      TakeDecoderPalette();
    }
    ReadRows();
    Guard([&] {
      if (codec_.buffered_image) jpeg_finish_output(&codec_);
      jpeg_finish_decompress(&codec_);
    });
  }

  // Refused before the library allocates its whole-image buffers or the bitmap exists. What
  // the library's own memory cannot hold it refuses itself, also before allocating.
  void CheckWorkBounds() {
    Guard([&] { jpeg_calc_output_dimensions(&codec_); });
    const std::uint64_t input = std::uint64_t{codec_.image_width} * codec_.image_height;
    const std::uint64_t backed = kPixelsPerFileByte * record_.DataBytes;
    const std::int64_t bitmapBytes =
        TBitmap::RowBytesFor(codec_.output_width, bitmap_.GetPixelFormat()) *
        std::int64_t{codec_.output_height};
    if ((input > kUnbackedPixels && input > backed) || bitmapBytes > TBitmap::kMaxPixelBytes) {
      throw EJPEG(JERR_IMAGE_TOO_BIG,
                  "Image too large: its file holds too little data for its size, or its bitmap "
                  "would pass 1 GiB");
    }
  }

  // The library has no grayscale or colour-mapped output for four components: the rows are
  // converted to colour here, then to what the picture asks for.
  void SelectInkOutput() {
    if (codec_.out_color_space != JCS_CMYK) return;
    if (options_.GrayOutput) {
      inkOutput_ = TInkOutput::Gray;
    } else if (options_.BitmapDepth == bd8Bit) {
      inkOutput_ = TInkOutput::Colour8;
    }
  }

  void PrepareInkRows() {
    const JDIMENSION width = codec_.output_width;
    Guard([&] {
      inkRow_ = (*codec_.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&codec_), JPOOL_IMAGE,
                                            width * (kInkComponents + 3), 1)[0];
    });
    if (inkOutput_ == TInkOutput::Colour24) return;
    // Indices into a palette of its own, like the grayscale output of other files.
    bitmap_.SetPalette(InkPalette(inkOutput_));
    NotePaletteModified();
  }

  // A palette the picture holds is the map an 8-bit decode maps to; a 24-bit decode has no use
  // for it.
  void TakeHeldPalette() {
    const HPALETTE held = heldPalette_.get();
    if (held == 0) return;
    if (options_.BitmapDepth != bd8Bit) {
      heldPalette_.reset();
      return;
    }
    PaletteToColorMap(&codec_, held);
    heldColorMap_ = codec_.colormap;
    bitmap_.SetPalette(CopyPalette(held));
    ownPalette_ = false;
  }

  // The bitmap's palette must describe the indices written. They refer to the held palette only
  // while the decoder still maps to it: the library replaces a supplied map for grayscale output,
  // and progressive display drops it when the final pass builds its own.
  bool PaletteFollowsDecoder() const { return ownPalette_ || codec_.colormap != heldColorMap_; }

  void TakeDecoderPalette() {
    paletteMap_ = codec_.colormap;
    bitmap_.SetPalette(ColorMapToPalette(&codec_));
    NotePaletteModified();
    rowAddress_ = bitmap_.ScanLine(0);
  }

  void NotePaletteModified() {
    paletteModified_ = true;
    if (picture_ != nullptr) picture_->PaletteModified = true;
  }

  // Rows go straight into the bitmap, so each must be exactly as wide as the library writes it.
  void CheckRowLayout() const {
    const bool fits = codec_.quantize_colors ? codec_.output_components == 1
                                             : (codec_.out_color_space == JCS_EXT_BGR &&
                                                codec_.output_components == 3) ||
                                                   (codec_.out_color_space == JCS_CMYK &&
                                                    codec_.output_components == kInkComponents);
    if (!fits) throw LibraryError(JERR_CONVERSION_NOTIMPL);
  }

  void MeasureRows() {
    rowAddress_ = bitmap_.ScanLine(0);
    rowsPerCall_ = 1;
    rowStride_ = 0;
    // A bitmap one row high has no row 1 and needs no stride.
    if (codec_.output_height < 2) return;
    rowStride_ = bitmap_.ScanLine(1) - rowAddress_;
    if (rowStride_ > 0 && rowStride_ % 4 == 0 && codec_.out_color_space != JCS_CMYK) {
      rowsPerCall_ = static_cast<JDIMENSION>(codec_.rec_outbuf_height);
    }
  }

  void ShowPassesWhileLoading() {
    const std::uint64_t passPixels = std::uint64_t{codec_.output_width} * codec_.output_height *
                                     (codec_.enable_2pass_quant ? kInverseMapPassWeight : 1);
    const std::uint64_t budget = std::min(kMaxShownPasses * passPixels, kShownPixels);
    std::uint64_t shownPixels = 0;
    for (;;) {
      int status = 0;
      Guard([&] {
        EnforceScanBounds(&codec_);  // the scan jpeg_finish_output has begun
        status = jpeg_consume_input(&codec_);
      });
      if (status == JPEG_REACHED_EOI) break;
      if (shownPixels + passPixels > budget) {
        ReadRemainingScans();
        break;
      }
      shownPixels += passPixels;
      Guard([&] { jpeg_start_output(&codec_, codec_.input_scan_number); });
      if (record_.ProgressState.pub.completed_passes == 0 && codec_.colormap != nullptr &&
          bitmap_.GetPixelFormat() == pf8bit && PaletteFollowsDecoder()) {
        TakeDecoderPalette();
      }
      rowAddress_ = bitmap_.ScanLine(0);
      ReadRows();
      Guard([&] { jpeg_finish_output(&codec_); });
    }
    codec_.dct_method = static_cast<J_DCT_METHOD>(record_.SavedDctMethod);
    codec_.dither_mode = static_cast<J_DITHER_MODE>(record_.SavedDitherMode);
    if (record_.SavedTwoPass) {
      codec_.two_pass_quantize = TRUE;
      codec_.colormap = nullptr;  // the final pass builds a map of its own
    }
    Guard([&] { jpeg_start_output(&codec_, codec_.input_scan_number); });
    rowAddress_ = bitmap_.ScanLine(0);
  }

  // No output pass runs here, so no progress callback would check the scans; each is checked
  // before its first row is read.
  void ReadRemainingScans() {
    Guard([&] {
      int status = 0;
      do {
        EnforceScanBounds(&codec_);
        status = jpeg_consume_input(&codec_);
      } while (status != JPEG_REACHED_EOI && status != JPEG_SUSPENDED);
    });
  }

  void ReadRows() {
    if (codec_.out_color_space == JCS_CMYK) {
      ReadInkRows();
      return;
    }
    JSAMPROW rows[kMaxRowsPerCall];
    const JDIMENSION perCall = rowsPerCall_ < kMaxRowsPerCall ? rowsPerCall_ : kMaxRowsPerCall;
    Guard([&] {
      while (codec_.output_scanline < codec_.output_height) {
        JDIMENSION wanted = codec_.output_height - codec_.output_scanline;
        if (wanted > perCall) wanted = perCall;
        for (JDIMENSION k = 0; k < wanted; ++k)
          rows[k] = rowAddress_ + std::ptrdiff_t{k} * rowStride_;
        const JDIMENSION read = jpeg_read_scanlines(&codec_, rows, wanted);
        if (read == 0) break;  // the source never suspends; stop rather than spin
        NoteRowsWritten();
        if (codec_.output_scanline < codec_.output_height) {
          rowAddress_ += std::ptrdiff_t{read} * rowStride_;
        }
      }
    });
  }

  // Four-component rows go through a scratch row and are converted into the bitmap.
  void ReadInkRows() {
    const JDIMENSION width = codec_.output_width;
    std::uint8_t* const bgr = inkRow_ + std::size_t{width} * kInkComponents;
    Guard([&] {
      JSAMPROW rows[1] = {inkRow_};
      while (codec_.output_scanline < codec_.output_height) {
        if (jpeg_read_scanlines(&codec_, rows, 1) == 0) break;
        NoteRowsWritten();
        if (inkOutput_ == TInkOutput::Colour24) {
          InkRowToBgr(inkRow_, rowAddress_, width);
        } else {
          InkRowToBgr(inkRow_, bgr, width);
          BgrRowToIndices(inkOutput_, bgr, rowAddress_, width, codec_.output_scanline - 1);
        }
        if (codec_.output_scanline < codec_.output_height) rowAddress_ += rowStride_;
      }
    });
  }

  // The library's scanline counter also runs through a colour quantiser's prescan, which writes
  // no row; what the first pass wrote is counted here.
  void NoteRowsWritten() {
    if (everyRowWritten_) return;
    rowsWritten_ = codec_.output_scanline;
    if (rowsWritten_ >= codec_.output_height) everyRowWritten_ = true;
  }

  // Rows that a failed or cancelled first pass never reached would show stale memory; the
  // picture keeps what was decoded, so they are cleared, as a new bitmap's would be.
  void ClearUnwrittenRows() {
    if (everyRowWritten_) return;
    const auto height = static_cast<JDIMENSION>(bitmap_.GetHeight());
    const auto rowBytes = static_cast<std::size_t>(bitmap_.RowBytes());
    for (JDIMENSION row = rowsWritten_; row < height; ++row) {
      std::memset(bitmap_.ScanLine(static_cast<int>(row)), 0, rowBytes);
    }
  }

  // A running notification invites a repaint of the rows decoded so far; the rows below them
  // may still hold a picture that used the memory before. Cleared once, before the first such
  // notification of the first pass that anyone receives, so that a decode nobody watches never
  // pays for it.
  void ClearRowsAhead() {
    if (everyRowWritten_ || rowsAheadCleared_ || bitmap_.GetHeight() == 0) return;
    if (picture_ == nullptr || !DecodeIsWatched(*picture_)) return;
    rowsAheadCleared_ = true;
    ClearUnwrittenRows();
  }

  // The ending notification, then the change notification when the palette changed; both also
  // when the decode failed.
  void Finish(std::uint8_t percent) {
    if (picture_ == nullptr) return;
    SendProgress(*picture_, psEnding, percent, picture_->PaletteModified, TRect{});
    if (picture_->PaletteModified) picture_->Changed(picture_);
  }

  static constexpr JDIMENSION kMaxRowsPerCall = 16;

  TJPEGImage* const picture_;
  const TJPEGDecodeOptions options_;
  OwnedPalette& heldPalette_;
  TBitmap& bitmap_;
  TJPEGCodecRecord& record_;
  jpeg_decompress_struct& codec_;
  // Rows are written through addresses measured once: nobody else may reshape the bitmap while
  // the run lasts, not even a progress handler.
  TBitmap::TFillScope filling_;
  bool ownPalette_ = true;
  JSAMPARRAY heldColorMap_ = nullptr;
  JSAMPARRAY paletteMap_ = nullptr;  // the map the bitmap's palette was last made from
  TInkOutput inkOutput_ = TInkOutput::Colour24;
  JSAMPROW inkRow_ = nullptr;
  std::uint8_t* rowAddress_ = nullptr;
  std::ptrdiff_t rowStride_ = 0;
  JDIMENSION rowsPerCall_ = 1;
  JDIMENSION rowsWritten_ = 0;
  bool everyRowWritten_ = false;
  bool rowsAheadCleared_ = false;
  bool paletteModified_ = false;
};

}  // namespace

namespace {

// One decode of the picture's data into a new bitmap, which the picture holds from the start.
// The run holds the data record and the bitmap itself, so that a progress handler that makes
// the picture drop either (new data, another bitmap, a new palette) frees nothing it uses.
void DecodeIntoNewBitmap(TJPEGImage& picture, std::shared_ptr<TBitmap>& slot, TJPEGData& data,
                         OwnedPalette& heldPalette) {
  // Assigned before decoding, so that a handler repainting during the decode gets the bitmap
  // being filled instead of starting a second decode.
  const auto bitmap = std::make_shared<TBitmap>();
  slot = bitmap;
  if (!data.JpegStream) return;

  TSharedImageHold hold(data);
  TJPEGCodecRecord record;
  TJPEGImageInternals::PrepareDecoder(picture, record);
  CodecReleaseGuard release(record);
  try {
    DecodeRun(&picture, TJPEGDecodeOptions::Of(picture), heldPalette, *bitmap, record).Execute();
  } catch (const EAbort&) {
    // A progress handler cancelled: keep what was decoded so far.
  }
}

}  // namespace

bool DecodeDetached(const TJPEGDecodeOptions& options, const std::uint8_t* bytes, std::size_t size,
                    TBitmap& bitmap, const std::atomic<bool>& cancelled,
                    TJPEGWarningLog& warnings) {
  TJPEGCodecRecord record;
  PrepareDetachedDecoder(options, bytes, size, warnings, record);
  CodecReleaseGuard release(record);
  record.ProgressState.Cancelled = &cancelled;
  OwnedPalette noHeldPalette;
  DecodeRun run(nullptr, options, noHeldPalette, bitmap, record);
  run.Execute();
  return run.PaletteModified();
}

TBitmap* GetDecodedBitmap(TJPEGImage& picture) {
  TGraphic::TBusyScope busy(picture);
  if (!picture.decodedBitmap_) TJPEGImageInternals::TakeDecodedAhead(picture);
  // A handler that changed the picture during the decode has made its result stale: the picture
  // answers with what it holds now, decoding its new data once more if need be.
  for (int attempt = 0; attempt < 2 && !picture.decodedBitmap_; ++attempt) {
    DecodeIntoNewBitmap(picture, picture.decodedBitmap_, *picture.sharedData_,
                        picture.heldPalette_);
  }
  if (!picture.decodedBitmap_) {
    throw EInvalidGraphicOperation("The JPEG image kept changing while it was being decoded");
  }
  return picture.decodedBitmap_.get();
}
