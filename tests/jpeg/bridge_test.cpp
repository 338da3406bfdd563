// The libjpeg bridge driven with raw library calls: errors become EJPEG with the library's code,
// stream failures come out as themselves, cut-off data still decodes, and the destination writes
// whole blocks.
#include <gtest/gtest.h>
#include <jerror.h>

#include <cstring>
#include <string>

#include "jpeg/codec.h"
#include "tests/jpeg/test_support.h"

namespace {

std::string JpegErrorText(int code) { return "JPEG error #" + std::to_string(code); }

struct DecodedImage {
  int width = 0;
  int height = 0;
  int components = 0;
  Bytes samples;  // rows top to bottom, as the library gives them
};

// Decodes a whole stream through the bridge's source, with the library's default settings (the
// same ones djpeg uses).
DecodedImage DecodeThroughBridge(TStream& stream) {
  TJPEGCodecRecord record{};
  InstallErrorManager(record.Codec.Common, record.ErrorManager);
  CodecReleaseGuard release(record);
  jpeg_decompress_struct& codec = record.Codec.Decompressor;
  DecodedImage image;
  JpegGuard(record.ErrorManager, [&] {
    jpeg_create_decompress(&codec);
    LimitCodecMemory(&record.Codec.Common);
    jpeg_stream_src(&codec, stream);
    jpeg_read_header(&codec, TRUE);
    jpeg_start_decompress(&codec);
    image.width = static_cast<int>(codec.output_width);
    image.height = static_cast<int>(codec.output_height);
    image.components = codec.output_components;
  });
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * image.components;
  image.samples.resize(rowBytes * static_cast<std::size_t>(image.height));
  JpegGuard(record.ErrorManager, [&] {
    while (codec.output_scanline < codec.output_height) {
      JSAMPROW row = image.samples.data() + rowBytes * codec.output_scanline;
      jpeg_read_scanlines(&codec, &row, 1);
    }
    jpeg_finish_decompress(&codec);
  });
  return image;
}

DecodedImage DecodeBytes(const Bytes& bytes) { return DecodeThroughBridge(*StreamOf(bytes)); }

// djpeg's reading of the same bytes: binary PPM/PGM with an 8-bit maximum.
DecodedImage DecodeWithDjpeg(const Bytes& bytes) {
  TempDir dir;
  WriteFileBytes(dir.Path("in.jpg"), bytes);
  const auto out = dir.Path("out.pnm");
  // djpeg exits with 2 when it had to warn (cut-off data) and still writes the image.
  const int status = RunShell("djpeg -pnm -outfile '" + out.string() + "' '" +
                              dir.Path("in.jpg").string() + "' 2>/dev/null");
  EXPECT_TRUE(status == 0 || status == 2) << status;
  const Bytes pnm = ReadFileBytes(out);
  DecodedImage image;
  std::string header(pnm.begin(), pnm.begin() + std::min<std::size_t>(pnm.size(), 32));
  int maxValue = 0;
  int consumed = 0;
  char kind = 0;
  EXPECT_EQ(std::sscanf(header.c_str(), "P%c %d %d %d%n", &kind, &image.width, &image.height,
                        &maxValue, &consumed),
            4);
  image.components = kind == '6' ? 3 : 1;
  image.samples.assign(pnm.begin() + consumed + 1, pnm.end());
  return image;
}

void ExpectSameImage(const DecodedImage& actual, const DecodedImage& expected) {
  EXPECT_EQ(actual.width, expected.width);
  EXPECT_EQ(actual.height, expected.height);
  EXPECT_EQ(actual.components, expected.components);
  EXPECT_TRUE(actual.samples == expected.samples) << "samples differ";
}

// Position of the first start-of-scan marker.
std::size_t ScanStart(const Bytes& jpeg) {
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i;
  }
  return jpeg.size();
}

// A stream whose operations fail or fall short in chosen ways, and that records its writes.
class ScriptedStream : public TMemoryStream {
 public:
  bool throwOnRead = false;
  bool throwOnWrite = false;
  std::int64_t writeLimit = -1;  // at most this many bytes per write when not negative
  std::vector<std::int64_t> writeSizes;

  std::int64_t Read(void* buffer, std::int64_t count) override {
    if (throwOnRead) throw EReadError("device gone while reading");
    return TMemoryStream::Read(buffer, count);
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (throwOnWrite) throw EWriteError("device gone while writing");
    writeSizes.push_back(count);
    if (writeLimit >= 0 && count > writeLimit) count = writeLimit;
    return TMemoryStream::Write(buffer, count);
  }
};

// Compresses a gradient through the bridge's destination with raw library calls.
void CompressThroughBridge(TStream& stream, int width, int height) {
  TJPEGCodecRecord record{};
  InstallErrorManager(record.Codec.Common, record.ErrorManager);
  CodecReleaseGuard release(record);
  jpeg_compress_struct& codec = record.Codec.Compressor;
  const Bytes rgb = GradientRgb(width, height);
  JpegGuard(record.ErrorManager, [&] {
    jpeg_create_compress(&codec);
    LimitCodecMemory(&record.Codec.Common);
    jpeg_stream_dest(&codec, stream);
    codec.image_width = static_cast<JDIMENSION>(width);
    codec.image_height = static_cast<JDIMENSION>(height);
    codec.input_components = 3;
    codec.in_color_space = JCS_RGB;
    jpeg_set_defaults(&codec);
    jpeg_set_quality(&codec, 100, TRUE);
    jpeg_start_compress(&codec, TRUE);
    while (codec.next_scanline < codec.image_height) {
      auto* row = const_cast<JSAMPLE*>(rgb.data()) + 3u * width * codec.next_scanline;
      jpeg_write_scanlines(&codec, &row, 1);
    }
    jpeg_finish_compress(&codec);
  });
}

// Pushes count bytes (0, 1, 2, ...) through the destination methods as the library would.
void PushThroughDestination(TStream& stream, std::size_t count) {
  TJPEGCodecRecord record{};
  InstallErrorManager(record.Codec.Common, record.ErrorManager);
  CodecReleaseGuard release(record);
  jpeg_compress_struct& codec = record.Codec.Compressor;
  JpegGuard(record.ErrorManager, [&] {
    jpeg_create_compress(&codec);
    jpeg_stream_dest(&codec, stream);
    codec.dest->init_destination(&codec);
    for (std::size_t i = 0; i < count; ++i) {
      if (codec.dest->free_in_buffer == 0) codec.dest->empty_output_buffer(&codec);
      *codec.dest->next_output_byte++ = static_cast<JOCTET>(i);
      --codec.dest->free_in_buffer;
    }
    codec.dest->term_destination(&codec);
  });
}

TEST(BridgeSource, EmptyStreamFailsWithTheLibrarysEmptyInputCode) {
  TMemoryStream empty;
  try {
    DecodeThroughBridge(empty);
    FAIL() << "no exception";
  } catch (const EJPEG& error) {
    EXPECT_EQ(error.Message(), JpegErrorText(JERR_INPUT_EMPTY));
  }
}

TEST(BridgeSource, LibraryErrorsCarryTheirCodeAndTheObjectIsReleased) {
  Bytes notJpeg = {'B', 'M', 0, 0, 0, 0, 0, 0};
  try {
    DecodeBytes(notJpeg);
    FAIL() << "no exception";
  } catch (const EJPEG& error) {
    EXPECT_EQ(error.Message(), JpegErrorText(JERR_NO_SOI));
  }
  // A second release of a released object, and of one never created, do nothing.
  TJPEGCodecRecord record{};
  ReleaseCodec(&record.Codec.Common);
  InstallErrorManager(record.Codec.Common, record.ErrorManager);
  JpegGuard(record.ErrorManager, [&] { jpeg_create_decompress(&record.Codec.Decompressor); });
  ReleaseCodec(&record.Codec.Common);
  EXPECT_EQ(record.Codec.Common.err, nullptr);
  ReleaseCodec(&record.Codec.Common);
}

TEST(BridgeSource, CompleteFilesDecodeAsDjpegDecodesThem) {
  for (const auto& [options, gray] : {std::pair{"", false},
                                      {"-progressive", false},
                                      {"-grayscale", false},
                                      {"-restart 1", false}}) {
    SCOPED_TRACE(options);
    const Bytes jpeg = MakeJpeg(300, 70, options, gray);
    ExpectSameImage(DecodeBytes(jpeg), DecodeWithDjpeg(jpeg));
  }
}

TEST(BridgeSource, CutOffDataDecodesWithoutErrorAsDjpegDoes) {
  for (const char* options : {"", "-progressive"}) {
    SCOPED_TRACE(options);
    const Bytes jpeg = MakeJpeg(320, 240, options);
    const std::size_t scan = ScanStart(jpeg);
    const Bytes cut(jpeg.begin(),
                    jpeg.begin() + static_cast<long>(scan + (jpeg.size() - scan) / 2));
    DecodedImage decoded;
    ASSERT_NO_THROW(decoded = DecodeBytes(cut));
    ExpectSameImage(decoded, DecodeWithDjpeg(cut));
  }
}

TEST(BridgeSource, MissingEndMarkerDecodesAsIfPresent) {
  const Bytes jpeg = MakeJpeg(64, 48);
  ASSERT_EQ(jpeg[jpeg.size() - 2], 0xFF);
  ASSERT_EQ(jpeg[jpeg.size() - 1], 0xD9);
  const Bytes withoutEnd(jpeg.begin(), jpeg.end() - 2);
  ExpectSameImage(DecodeBytes(withoutEnd), DecodeBytes(jpeg));
}

TEST(BridgeSource, SegmentLengthPastTheEndEndsInsteadOfLooping) {
  // Start of image, then a comment segment announcing 65533 bytes of which none follow.
  const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xFE, 0xFF, 0xFF};
  try {
    DecodeBytes(jpeg);
    FAIL() << "no exception";
  } catch (const EJPEG& error) {
    EXPECT_EQ(error.Message(), JpegErrorText(JERR_NO_IMAGE));
  }
}

TEST(BridgeSource, ReadFailureOfTheStreamComesOutAsItself) {
  const Bytes jpeg = MakeJpeg(16, 16);
  ScriptedStream stream;
  stream.WriteBuffer(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  stream.SetPosition(0);
  stream.throwOnRead = true;
  try {
    DecodeThroughBridge(stream);
    FAIL() << "no exception";
  } catch (const EReadError& error) {
    EXPECT_EQ(error.Message(), "device gone while reading");
  }
}

TEST(BridgeDestination, WritesWholeBlocksAndTheRemainderOnce) {
  for (const auto& [count, expected] :
       {std::pair{std::size_t{8192}, std::vector<std::int64_t>{4096, 4096}},
        {std::size_t{8193}, std::vector<std::int64_t>{4096, 4096, 1}},
        {std::size_t{10}, std::vector<std::int64_t>{10}}}) {
    SCOPED_TRACE(count);
    ScriptedStream stream;
    PushThroughDestination(stream, count);
    EXPECT_EQ(stream.writeSizes, expected);
    const Bytes written = BytesOf(stream);
    ASSERT_EQ(written.size(), count);
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(written[i], static_cast<std::uint8_t>(i));
  }
}

TEST(BridgeDestination, CompressedOutputDecodesBack) {
  TMemoryStream stream;
  CompressThroughBridge(stream, 40, 30);
  const Bytes jpeg = BytesOf(stream);
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  const DecodedImage decoded = DecodeWithDjpeg(jpeg);
  EXPECT_EQ(decoded.width, 40);
  EXPECT_EQ(decoded.height, 30);
}

TEST(BridgeDestination, ShortWritesFailWithTheLibrarysWriteCode) {
  // A full block that falls short, and a final partial one that does.
  for (const auto& [count, limit] :
       {std::pair{std::size_t{5000}, std::int64_t{4000}}, {std::size_t{100}, std::int64_t{99}}}) {
    SCOPED_TRACE(count);
    ScriptedStream stream;
    stream.writeLimit = limit;
    try {
      PushThroughDestination(stream, count);
      FAIL() << "no exception";
    } catch (const EJPEG& error) {
      EXPECT_EQ(error.Message(), JpegErrorText(JERR_FILE_WRITE));
    }
  }
  ScriptedStream tiny;
  tiny.writeLimit = 0;
  EXPECT_THROW(CompressThroughBridge(tiny, 8, 8), EJPEG);
}

TEST(BridgeDestination, WriteFailureOfTheStreamComesOutAsItself) {
  ScriptedStream stream;
  stream.throwOnWrite = true;
  try {
    CompressThroughBridge(stream, 8, 8);
    FAIL() << "no exception";
  } catch (const EWriteError& error) {
    EXPECT_EQ(error.Message(), "device gone while writing");
  }
}

}  // namespace
