// Compression of a picture's bitmap into new JPEG bytes, run when a picture that holds only a
// bitmap is saved.
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "framework/system/exceptions.h"
#include "jpeg/codec.h"
#include "jpeg/picture_internals.h"

namespace {

void SetParameters(const TJPEGImage& picture, TJPEGData& data, jpeg_compress_struct& codec) {
  jpeg_set_defaults(&codec);
  codec.dct_method = JDCT_FLOAT;
  jpeg_set_quality(&codec, picture.SaveQuality(), TRUE);
  if (picture.GrayOutput()) {
    data.IsGrayscale = true;
    jpeg_set_colorspace(&codec, JCS_GRAYSCALE);
  }
  if (picture.SaveProgressive()) jpeg_simple_progression(&codec);
}

// The rows of one bitmap as the library takes them: addresses stepped by the signed distance
// between rows, so that either row order goes over without copying a pixel.
struct RowGeometry {
  const std::uint8_t* first = nullptr;
  std::ptrdiff_t stride = 0;
  JDIMENSION rowsPerCall = 1;
};

// Read-only addresses, so that a bitmap sharing its pixels with another keeps sharing them.
RowGeometry MeasureRows(const TBitmap& bitmap, JDIMENSION height) {
  RowGeometry rows;
  rows.first = bitmap.ScanLine(0);
  // A bitmap one row high has no row 1: its single row goes over in one call.
  if (height < 2) return rows;
  rows.stride = bitmap.ScanLine(1) - rows.first;
  if (rows.stride > 0 && rows.stride % 4 == 0) rows.rowsPerCall = height;
  return rows;
}

void WriteRows(TJPEGCodecRecord& record, const RowGeometry& geometry, JSAMPROW* rows) {
  jpeg_compress_struct& codec = record.Codec.Compressor;
  JpegGuard(record.ErrorManager, [&] {
    jpeg_start_compress(&codec, TRUE);
    const std::uint8_t* current = geometry.first;
    while (codec.next_scanline < codec.image_height) {
      JDIMENSION wanted = codec.image_height - codec.next_scanline;
      if (wanted > geometry.rowsPerCall) wanted = geometry.rowsPerCall;
      // The library only reads the rows it is given.
      for (JDIMENSION k = 0; k < wanted; ++k)
        rows[k] = const_cast<JSAMPROW>(current + std::ptrdiff_t{k} * geometry.stride);
      const JDIMENSION taken = jpeg_write_scanlines(&codec, rows, wanted);
      if (taken == 0) break;  // the destination never suspends; stop rather than spin
      if (codec.next_scanline < codec.image_height)
        current += std::ptrdiff_t{taken} * geometry.stride;
    }
    jpeg_finish_compress(&codec);
  });
}

}  // namespace

void TJPEGImageInternals::EnsureJpegStream(TJPEGImage& picture) {
  if (HoldsCompressedBytes(picture.State())) return;
  // A handler of the compression that is making these bytes would otherwise start another one.
  if (picture.sharedData_->compressions_ > 0) {
    throw EInvalidGraphicOperation("Cannot save a JPEG image while it is being compressed");
  }
  CompressBitmap(picture);
}

void TJPEGImageInternals::CompressBitmap(TJPEGImage& picture) {
  TJPEGCodecRecord record;
  CreateCodec(record, TJPEGCodecKind::Compressor);
  jpeg_compress_struct& codec = record.Codec.Compressor;
  TJPEGData* data = nullptr;
  std::optional<TSharedImageHold> hold;
  CodecReleaseGuard release(record);

  try {
    record.ProgressState.pub.progress_monitor = ReportProgress;
    record.ProgressState.Owner = &picture;
    codec.progress = &record.ProgressState.pub;

    // Bytes shared with other pictures are never overwritten.
    if (picture.sharedData_->JpegStream) picture.StartNewData();
    data = picture.sharedData_;
    // A handler may give the picture new data meanwhile; the record written to stays alive.
    hold.emplace(*data);
    ++data->compressions_;
    struct Unmark {
      int& compressions;
      ~Unmark() { --compressions; }
    } unmark{data->compressions_};
    // The bytes join the record only when they are complete: until then a save of any picture
    // sharing it finds none, and a compression that fails leaves none to be saved later.
    auto stream = std::make_unique<TMemoryStream>();
    JpegGuard(record.ErrorManager, [&] { jpeg_stream_dest(&codec, *stream); });

    TBitmap* const bitmap = picture.decodedBitmap_.get();
    if (bitmap == nullptr || bitmap->GetWidth() == 0 || bitmap->GetHeight() == 0) {
      data->JpegStream = std::move(stream);
      return;
    }

    codec.image_width = static_cast<JDIMENSION>(bitmap->GetWidth());
    data->ImageWidth = bitmap->GetWidth();
    codec.image_height = static_cast<JDIMENSION>(bitmap->GetHeight());
    data->ImageHeight = bitmap->GetHeight();
    codec.input_components = 3;
    codec.in_color_space = JCS_EXT_BGR;  // the bitmap's own byte order

    // The rows are read from a copy, which a progress handler cannot change or free; it shares
    // the bitmap's pixels unless either is written meanwhile.
    auto workingCopy = std::make_unique<TBitmap>();
    workingCopy->Assign(bitmap);
    workingCopy->SetPixelFormat(pf24bit);

    JpegGuard(record.ErrorManager, [&] { SetParameters(picture, *data, codec); });

    const RowGeometry geometry = MeasureRows(*workingCopy, codec.image_height);
    std::vector<JSAMPROW> rows(geometry.rowsPerCall);

    SendProgress(picture, psStarting, 0, false, TRect{});
    try {
      WriteRows(record, geometry, rows.data());
    } catch (...) {
      SendProgress(picture, psEnding, 0, false, TRect{});
      throw;
    }
    data->JpegStream = std::move(stream);
    SendProgress(picture, psEnding, 100, false, TRect{});
  } catch (const EAbort&) {
    // Cancelled by a progress handler: the result is dropped, and the picture is given new data
    // unless the handler has already given it other data.
    if (data != nullptr) data->JpegStream = nullptr;
    if (data == nullptr || picture.sharedData_ == data) picture.StartNewData();
  }
}
