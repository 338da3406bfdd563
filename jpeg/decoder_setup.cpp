// Decoder set-up: a libjpeg decompressor that has read the picture's header and carries the
// picture's options as decompression parameters; and the output size at the current scale.
#include <cstring>

#include "framework/system/exceptions.h"
#include "jpeg/codec.h"
#include "jpeg/picture_internals.h"

namespace {

// Colours map to fewer entries than a palette holds, leaving room for the system's colours.
constexpr int kMappedColors = 236;

// Files with four output components (CMYK, YCCK) are converted by the decode itself, to colour
// and then to gray or palette indices: the library has no such output for them.
bool HasInkOutput(const jpeg_decompress_struct& codec) {
  return codec.jpeg_color_space == JCS_CMYK || codec.jpeg_color_space == JCS_YCCK;
}

void ApplyOptions(const TJPEGDecodeOptions& options, jpeg_decompress_struct& codec) {
  codec.scale_num = 1;
  codec.scale_denom = 1u << static_cast<unsigned>(options.ShrinkFactor);
  codec.do_block_smoothing = options.BlockSmoothing ? TRUE : FALSE;

  if (!HasInkOutput(codec)) {
    if (options.GrayOutput) {
      codec.out_color_space = JCS_GRAYSCALE;
    } else if (codec.out_color_space != JCS_GRAYSCALE) {
      // Colour rows arrive in the bitmap's own byte order; a file the library cannot turn into
      // colour is refused by jpeg_start_decompress before any row is written.
      codec.out_color_space = JCS_EXT_BGR;
    }
    if (options.BitmapDepth == bd8Bit || codec.out_color_space == JCS_GRAYSCALE) {
      codec.quantize_colors = TRUE;
      codec.desired_number_of_colors = kMappedColors;
    }
  }

  if (options.DecodeSpeed == dsBestSpeed) {
    codec.dct_method = JDCT_IFAST;
    codec.two_pass_quantize = FALSE;
    codec.dither_mode = JDITHER_ORDERED;
  } else {
    codec.dct_method = JDCT_FLOAT;
  }
}

// Progressive display decodes the passes before the last one with fast settings; the requested
// ones are saved in the record and restored for the final pass.
void SelectProgressiveDisplay(jpeg_decompress_struct& codec) {
  codec.enable_2pass_quant = codec.two_pass_quantize;
  codec.dct_method = JDCT_IFAST;
  codec.two_pass_quantize = FALSE;
  codec.dither_mode = JDITHER_ORDERED;
  codec.buffered_image = TRUE;
}

// Creates the decompressor in record with the given progress monitor, owner and warning log,
// attaches the data (attach, inside the guard) and reads the header; the record is released
// again when this fails.
template <class AttachSource>
void SetUpDecoder(const TJPEGDecodeOptions& options, TJPEGCodecRecord& record,
                  void (*monitor)(j_common_ptr), TJPEGImage* owner, TJPEGWarningLog* warnings,
                  std::uint64_t dataBytes, AttachSource&& attach) {
  CreateCodec(record, TJPEGCodecKind::Decompressor);
  jpeg_decompress_struct& codec = record.Codec.Decompressor;
  record.ErrorManager.warnings = warnings;

  try {
    record.ProgressState.pub.progress_monitor = monitor;
    record.ProgressState.Owner = owner;
    codec.progress = &record.ProgressState.pub;

    record.DataBytes = dataBytes;
    bool multipleScans = false;
    JpegGuard(record.ErrorManager, [&] {
      attach(&codec);
      jpeg_read_header(&codec, TRUE);
      ApplyOptions(options, codec);
      multipleScans = options.ShowWhileLoading && jpeg_has_multiple_scans(&codec);
    });

    record.SavedDctMethod = codec.dct_method;
    record.SavedTwoPass = codec.two_pass_quantize != FALSE;
    record.SavedDitherMode = codec.dither_mode;
    if (multipleScans) SelectProgressiveDisplay(codec);
  } catch (...) {
    ReleaseCodec(&record.Codec.Common);
    throw;
  }
}

}  // namespace

void ClearCodecRecord(TJPEGCodecRecord& record) {
  record.ProgressState = TJPEGProgressState{};
  record.SavedDctMethod = 0;
  record.SavedTwoPass = false;
  record.SavedDitherMode = 0;
  record.DataBytes = 0;
  std::memset(static_cast<void*>(&record.Codec), 0, sizeof record.Codec);
}

void CreateCodec(TJPEGCodecRecord& record, TJPEGCodecKind kind) {
  ClearCodecRecord(record);
  InstallErrorManager(record.Codec.Common, record.ErrorManager);
  try {
    JpegGuard(record.ErrorManager, [&] {
      if (kind == TJPEGCodecKind::Decompressor) {
        jpeg_create_decompress(&record.Codec.Decompressor);
      } else {
        jpeg_create_compress(&record.Codec.Compressor);
      }
    });
  } catch (...) {
    record.Codec.Common.err = nullptr;  // nothing was created, so nothing is to be released
    throw;
  }
  LimitCodecMemory(&record.Codec.Common);
}

void TJPEGImageInternals::PrepareDecoder(TJPEGImage& picture, TJPEGCodecRecord& record) {
  TMemoryStream* const stream = picture.sharedData_->JpegStream.get();
  if (stream == nullptr) throw EInvalidGraphic("The JPEG image holds no data");
  stream->SetPosition(0);
  SetUpDecoder(TJPEGDecodeOptions::Of(picture), record, ReportProgress, &picture, nullptr,
               static_cast<std::uint64_t>(stream->GetSize()),
               [stream](j_decompress_ptr codec) { jpeg_stream_src(codec, *stream); });
}

void PrepareDetachedDecoder(const TJPEGDecodeOptions& options, const std::uint8_t* bytes,
                            std::size_t size, TJPEGWarningLog& warnings, TJPEGCodecRecord& record) {
  SetUpDecoder(options, record, ReportDetachedProgress, nullptr, &warnings, size,
               [bytes, size](j_decompress_ptr codec) { jpeg_bytes_src(codec, bytes, size); });
}

void TJPEGImageInternals::RefreshOutputSize(TJPEGImage& picture) {
  if (!picture.outputSizeStale_ || !picture.sharedData_->JpegStream) return;

  TJPEGCodecRecord record;
  PrepareDecoder(picture, record);
  CodecReleaseGuard release(record);
  jpeg_decompress_struct& codec = record.Codec.Decompressor;
  codec.progress = nullptr;  // measuring is not worth a notification

  bool multipleScans = false;
  JpegGuard(record.ErrorManager, [&] {
    jpeg_calc_output_dimensions(&codec);
    multipleScans = jpeg_has_multiple_scans(&codec) != FALSE;
  });
  picture.cachedOutputWidth_ = static_cast<std::int32_t>(codec.output_width);
  picture.cachedOutputHeight_ = static_cast<std::int32_t>(codec.output_height);
  picture.saveProgressive_ = multipleScans;
  picture.outputSizeStale_ = false;
}
