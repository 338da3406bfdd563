// How compressed data enters and leaves a picture: plain streams (and so files) carry the JPEG
// bytes alone, form streams a 32-bit little-endian count and the bytes.
#include <array>
#include <cstring>
#include <limits>

#include "framework/system/little_endian.h"
#include "jpeg/codec.h"
#include "jpeg/picture_internals.h"

namespace {

constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

std::int64_t BytesLeft(TStream& stream) {
  const std::int64_t left = stream.GetSize() - stream.GetPosition();
  return left > 0 ? left : 0;
}

struct HeaderFacts {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool grayscale = false;
  bool progressive = false;
  TJPEGHeaderDetails details;
};

// Reads only the header of the JPEG bytes in stream, with a decompressor of its own that is
// destroyed on every path.
HeaderFacts ReadHeader(TMemoryStream& stream) {
  jpeg_decompress_struct codec;
  std::memset(&codec, 0, sizeof codec);
  TJPEGErrorManager errors{};
  InstallErrorManager(*reinterpret_cast<jpeg_common_struct*>(&codec), errors);
  struct Destroyer {
    jpeg_decompress_struct& codec;
    ~Destroyer() { jpeg_destroy_decompress(&codec); }
  } destroyer{codec};

  stream.SetPosition(0);
  HeaderFacts facts;
  JpegGuard(errors, [&] {
    jpeg_create_decompress(&codec);
    LimitCodecMemory(reinterpret_cast<j_common_ptr>(&codec));
    jpeg_stream_src(&codec, stream);
    jpeg_read_header(&codec, TRUE);
    facts.width = static_cast<std::int32_t>(codec.image_width);
    facts.height = static_cast<std::int32_t>(codec.image_height);
    facts.grayscale = codec.jpeg_color_space == JCS_GRAYSCALE;
    facts.progressive = jpeg_has_multiple_scans(&codec) != 0;
    facts.details.ColorSpace = codec.jpeg_color_space;
  });
  // The library checked every component's factors against its limits before it returned.
  for (int i = 0; i < codec.num_components; ++i) {
    const jpeg_component_info& component = codec.comp_info[i];
    facts.details.Components.push_back({component.h_samp_factor, component.v_samp_factor});
  }
  return facts;
}

// The bytes a save writes: those of the record the picture held when the save began (compressed
// first when it holds only a bitmap), also when a progress handler has meanwhile given the picture
// other data. A cancelled compression leaves none, and the save is cancelled too, so that a file
// it was to replace stays as it was.
TMemoryStream& BytesToSave(TJPEGImage& picture, TJPEGData& data) {
  TJPEGImageInternals::EnsureJpegStream(picture);
  if (!data.JpegStream) throw EAbort("JPEG compression cancelled");
  return *data.JpegStream;
}

}  // namespace

void TJPEGImage::ReadJpegBytes(std::int32_t count, TStream& source) {
  StartNewData();
  DiscardBitmap();
  sharedData_->JpegStream = std::make_unique<TMemoryStream>();
  TMemoryStream& bytes = *sharedData_->JpegStream;
  bytes.SetSize64(count);
  source.ReadBuffer(bytes.Memory(), count);
  if (count > 0) {
    const HeaderFacts facts = ReadHeader(bytes);
    sharedData_->ImageWidth = facts.width;
    sharedData_->ImageHeight = facts.height;
    sharedData_->IsGrayscale = facts.grayscale;
    saveProgressive_ = facts.progressive;
  }
  PaletteModified = true;
  Changed(this);
  TJPEGImageInternals::StartDecodingAhead(*this);
}

TJPEGHeaderDetails ReadHeaderDetails(TJPEGImage& picture) {
  TMemoryStream none;
  TMemoryStream* bytes = picture.sharedData_->JpegStream.get();
  return ReadHeader(bytes != nullptr ? *bytes : none).details;
}

void TJPEGImage::ReadFromStream(TStream& stream) {
  const std::int64_t count = BytesLeft(stream);
  if (count > kMaxCount) throw EReadError("JPEG data too large: more than 2147483647 bytes");
  ReadJpegBytes(static_cast<std::int32_t>(count), stream);
}

void TJPEGImage::WriteToStream(TStream& stream) {
  TBusyScope busy(*this);
  TSharedImageHold hold(*sharedData_);
  TMemoryStream& bytes = BytesToSave(*this, *sharedData_);
  stream.WriteBuffer(bytes.Memory(), bytes.GetSize());
}

void TJPEGImage::ReadFormData(TStream& stream) {
  std::array<std::uint8_t, 4> field{};
  stream.ReadBuffer(field.data(), field.size());
  const auto count = static_cast<std::int32_t>(ReadLE32(field.data()));
  // Checked before anything changes, so that a damaged payload leaves the picture as it was.
  if (count < 0 || count > BytesLeft(stream)) {
    throw EReadError("Invalid JPEG data count in form stream");
  }
  ReadJpegBytes(count, stream);
}

void TJPEGImage::WriteFormData(TStream& stream) {
  // A picture that holds only a bitmap is compressed first, or its image would not survive.
  TBusyScope busy(*this);
  TSharedImageHold hold(*sharedData_);
  TMemoryStream& bytes = BytesToSave(*this, *sharedData_);
  const std::int64_t size = bytes.GetSize();
  if (size > kMaxCount) throw EWriteError("JPEG data too large for a form stream");
  const auto count = static_cast<std::uint32_t>(size);
  std::array<std::uint8_t, 4> field{};
  WriteLE32(field.data(), count);
  stream.WriteBuffer(field.data(), field.size());
  if (size > 0) stream.WriteBuffer(bytes.Memory(), size);
}
