// The libjpeg bridge under raw library calls: errors become EJPEG with the library's code, stream
// failures come out as themselves, cut-off data decodes through both sources as the library's own
// memory source decodes it, and the destination writes whole blocks.
#include <gtest/gtest.h>
#include <jerror.h>

#include "jpeg/codec.h"
#include "tests/jpeg/test_support.h"

namespace {

// Decodes all rows through the bridge's stream source, or, without a stream, through libjpeg's
// own memory source (the oracle for how the end of the data is handled).
Bytes Decode(const Bytes& jpeg, TStream* stream) {
  TJPEGCodecRecord record{};
  InstallErrorManager(record.Codec.Common, record.ErrorManager);
  CodecReleaseGuard release(record);
  jpeg_decompress_struct& codec = record.Codec.Decompressor;
  Bytes samples;
  JpegGuard(record.ErrorManager, [&] {
    jpeg_create_decompress(&codec);
    LimitCodecMemory(&record.Codec.Common);
    if (stream != nullptr) {
      jpeg_stream_src(&codec, *stream);
    } else {
      jpeg_mem_src(&codec, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    }
    jpeg_read_header(&codec, TRUE);
    jpeg_start_decompress(&codec);
    const std::size_t rowBytes = std::size_t{codec.output_width} * codec.output_components;
    samples.resize(rowBytes * codec.output_height);
    while (codec.output_scanline < codec.output_height) {
      JSAMPROW row = samples.data() + rowBytes * codec.output_scanline;
      jpeg_read_scanlines(&codec, &row, 1);
    }
    jpeg_finish_decompress(&codec);
  });
  return samples;
}

// A stream that fails or falls short on demand and records its writes.
class ScriptedStream : public TMemoryStream {
 public:
  // Holds the bytes after the prefix, positioned at them; the set-up is not recorded.
  explicit ScriptedStream(const Bytes& bytes = {}, std::string prefix = "") {
    const auto start = static_cast<std::int64_t>(prefix.size());
    prefix.append(bytes.begin(), bytes.end());
    TMemoryStream::Write(prefix.data(), static_cast<std::int64_t>(prefix.size()));
    SetPosition(start);
  }
  bool throwOnWrite = false;
  std::int64_t throwFrom = -1;   // reads starting at or past this position throw
  std::int64_t readLimit = -1;   // at most this many bytes per read when not negative
  std::int64_t writeLimit = -1;  // at most this many bytes per write when not negative
  std::vector<std::int64_t> readSizes, writeSizes;

  std::int64_t Read(void* buffer, std::int64_t count) override {
    if (throwFrom >= 0 && GetPosition() >= throwFrom) throw EReadError("device gone while reading");
    readSizes.push_back(count);
    return TMemoryStream::Read(buffer, readLimit >= 0 && count > readLimit ? readLimit : count);
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (throwOnWrite) throw EWriteError("device gone while writing");
    writeSizes.push_back(count);
    return TMemoryStream::Write(buffer, writeLimit >= 0 && count > writeLimit ? writeLimit : count);
  }
};

// A plain memory stream is read in place, from its position to its end; a derived one, like any
// other stream, in blocks.
enum class Source { Blocks, InPlace };

Bytes DecodeThroughBridge(const Bytes& jpeg, Source kind) {
  ScriptedStream blocks(jpeg, "pre");
  const auto inPlace = StreamOf(BytesOf(blocks));
  inPlace->SetPosition(3);
  TMemoryStream& stream = kind == Source::InPlace ? *inPlace : blocks;
  Bytes samples = Decode(jpeg, &stream);
  EXPECT_EQ(stream.GetPosition(), stream.GetSize());
  return samples;
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

// Cut-off data decodes as the library's own memory source decodes it; no data at all, or a
// comment announcing 65533 bytes of which none follow (the skip is satisfied by inserted
// end-of-image markers, which then end the datastream), fail with their codes.
TEST(BridgeSource, DataEndingEarlyDecodesAsTheLibrarysOwnSourceDecodesIt) {
  const Bytes jpeg = MakeJpeg(320, 240, "-progressive");
  const Bytes withoutEnd(jpeg.begin(), jpeg.end() - 2);
  const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3));
  const Bytes whole = Decode(jpeg, nullptr);
  const Bytes runningPastTheEnd = {0xFF, 0xD8, 0xFF, 0xFE, 0xFF, 0xFF};
  for (const Source kind : {Source::Blocks, Source::InPlace}) {
    EXPECT_TRUE(DecodeThroughBridge(jpeg, kind) == whole);
    EXPECT_TRUE(DecodeThroughBridge(withoutEnd, kind) == whole);
    Bytes partial;
    ASSERT_NO_THROW(partial = DecodeThroughBridge(cut, kind));
    EXPECT_TRUE(partial == Decode(cut, nullptr));
    ExpectMessage<EJPEG>([&] { DecodeThroughBridge({}, kind); }, JpegErrorText(JERR_INPUT_EMPTY));
    ExpectMessage<EJPEG>([&] { DecodeThroughBridge(runningPastTheEnd, kind); },
                         JpegErrorText(JERR_NO_IMAGE));
  }
}

TEST(BridgeSource, ReadsBlockByBlockAndOnlyFailsForDataTheLibraryNeeds) {
  // Noise compresses badly: several buffer fills of data.
  Bytes noise(1280 * 800 * 3);
  for (std::size_t i = 0; i < noise.size(); ++i)
    noise[i] = static_cast<std::uint8_t>(i * 7919 >> 5);
  const Bytes jpeg = Cjpeg(1280, 800, noise, "-quality 95", false);
  ASSERT_GT(jpeg.size(), 3u * 4096 * 64);
  const Bytes whole = Decode(jpeg, nullptr);
  const auto size = static_cast<std::int64_t>(jpeg.size());
  Bytes trailed = jpeg;
  trailed.insert(trailed.end(), {'e', 'n', 'd'});
  // Short reads are not the end of the data; failing past the end of the JPEG data goes
  // unnoticed.
  for (const auto& [readLimit, throwFrom] :
       {std::pair<std::int64_t, std::int64_t>{-1, -1}, {1000, -1}, {-1, size}}) {
    ScriptedStream stream(trailed);
    stream.readLimit = readLimit;
    stream.throwFrom = throwFrom;
    EXPECT_TRUE(Decode(jpeg, &stream) == whole);
    for (const std::int64_t asked : stream.readSizes) EXPECT_EQ(asked, 4096);
  }
  // Failing inside it does, and the stream's own failure comes out as itself.
  ScriptedStream inside(jpeg);
  inside.throwFrom = size - 5000;
  ExpectMessage<EReadError>([&] { Decode(jpeg, &inside); }, "device gone while reading");
}

TEST(BridgeDestination, WritesWholeBlocksAndTheRemainderOnceAndFailsOnShortOrFailedWrites) {
  ScriptedStream blocks;
  PushThroughDestination(blocks, 8193);
  EXPECT_EQ(blocks.writeSizes, (std::vector<std::int64_t>{4096, 4096, 1}));
  Bytes pushed(8193);
  for (std::size_t i = 0; i < pushed.size(); ++i) pushed[i] = static_cast<std::uint8_t>(i);
  EXPECT_TRUE(BytesOf(blocks) == pushed);
  // A short write of a block or of the remainder fails; a failing stream's error is its own.
  for (const auto& [count, writeLimit] : {std::pair<std::size_t, int>{5000, 4000}, {100, 99}}) {
    ScriptedStream stream;
    stream.writeLimit = writeLimit;
    ExpectMessage<EJPEG>([&] { PushThroughDestination(stream, count); },
                         JpegErrorText(JERR_FILE_WRITE));
  }
  ScriptedStream failing;
  failing.throwOnWrite = true;
  ExpectMessage<EWriteError>([&] { PushThroughDestination(failing, 10); },
                             "device gone while writing");
}

}  // namespace
