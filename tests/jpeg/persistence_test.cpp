// How data enters and leaves a picture: header-only loading (and the tool's report of it), bad
// headers, plain streams and files, the form payload, and the registry by file extension.
#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>
#include <functional>
#include <limits>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/picture.h"
#include "jpeg/jpeg.h"
#include "tests/jpeg/test_support.h"
#include "tests/support/jpeg_files.h"

namespace {

TEST(Loading, HeaderGivesSizeColourAndScanKindBeforeAnyDecodeAsTheToolPrintsThem) {
  const struct {
    const char* cjpegOptions;
    bool grayInput;
    int width, height;
    bool grayscale, progressive;
  } cases[] = {{"", false, 97, 61, false, false},
               {"-progressive", false, 64, 200, false, true},
               {"-progressive", true, 300, 1, true, true}};
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cjpegOptions + std::to_string(c.width));
    const Bytes jpeg = MakeJpeg(c.width, c.height, c.cjpegOptions, c.grayInput);
    ScopedDefaults defaults({.SaveProgressive = !c.progressive});  // so loading visibly sets it
    TJPEGImage picture;
    Load(picture, jpeg);
    EXPECT_TRUE(picture.PaletteModified);
    EXPECT_EQ(picture.DecodedBitmapOrNull(), nullptr);
    EXPECT_EQ(picture.GetWidth(), c.width);
    EXPECT_EQ(picture.GetHeight(), c.height);
    EXPECT_EQ(picture.IsGrayscale(), c.grayscale);
    EXPECT_EQ(picture.SaveProgressive(), c.progressive);

    WriteFileBytes(dir.Path("in.jpg"), jpeg);
    const std::string info = RunCapturing(dir, kTool + "info " + dir.Quoted("in.jpg")).out;
    EXPECT_TRUE(info.starts_with(std::to_string(c.width) + " " + std::to_string(c.height) +
                                 " gray=" + (c.grayscale ? "1" : "0") +
                                 " progressive=" + (c.progressive ? "1 " : "0 ")))
        << info;
  }
}

// Reports more bytes than a 32-bit count can hold, without holding them.
class HugeStream : public TStream {
 public:
  static constexpr std::int64_t kSize = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    return origin == TSeekOrigin::soEnd ? kSize + offset : 0;
  }
  std::int64_t GetSize() override { return kSize; }
};

TEST(Loading, TakesTheBytesAfterThePositionEvenNoneButNoMoreThanACountHolds) {
  const Bytes jpeg = MakeJpeg(12, 9);
  Bytes prefixed = {1, 2, 3};
  prefixed.insert(prefixed.end(), jpeg.begin(), jpeg.end());
  auto stream = StreamOf(prefixed);
  stream->SetPosition(3);
  TJPEGImage picture;
  picture.LoadFromStream(*stream);
  HugeStream huge;
  EXPECT_THROW(picture.LoadFromStream(huge), EReadError);
  EXPECT_EQ(BytesOf(*picture.Data().JpegStream), jpeg);

  // At the end: empty but present data, not empty, size 0, notified, options as they were.
  ScopedDefaults defaults({.SaveProgressive = true, .ShrinkFactor = sfQuarter});
  TJPEGImage atEnd;
  int changes = 0;
  atEnd.OnChange = [&](TObject*) { ++changes; };
  atEnd.LoadFromStream(*stream);
  EXPECT_EQ(atEnd.Data().JpegStream->GetSize(), 0);
  EXPECT_FALSE(atEnd.Empty());
  EXPECT_EQ(atEnd.GetWidth(), 0);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(atEnd.SaveProgressive());
}

TEST(Loading, UnreadableHeadersRaiseAndKeepTheNewBytes) {
  const Bytes jpeg = MakeJpeg(20, 20);
  const std::size_t scan = ScanHeaderAt(jpeg);
  const struct {
    Bytes bytes;
    int code;
  } cases[] = {{{'G', 'I', 'F', '8', '9', 'a'}, JERR_NO_SOI},
               {Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(scan)), JERR_SOF_NO_SOS},
               {{0xFF, 0xD8, 0xFF, 0xD9}, JERR_NO_IMAGE}};  // no image, as a tables-only file
  // A size query must not raise the header's error again.
  ScopedDefaults defaults({.ShrinkFactor = sfHalf});
  for (const auto& c : cases) {
    TJPEGImage picture;
    Load(picture, jpeg);
    int changes = 0;
    picture.OnChange = [&](TObject*) { ++changes; };
    ExpectMessage<EJPEG>([&] { Load(picture, c.bytes); }, JpegErrorText(c.code));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(BytesOf(*picture.Data().JpegStream), c.bytes);
    EXPECT_EQ(picture.GetWidth(), 0);
  }
}

// Takes the first 10 bytes written to it and no more.
class TenByteStream : public TMemoryStream {
 public:
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    return TMemoryStream::Write(buffer, std::min(count, 10 - GetSize()));
  }
};

// Every way a graphic is saved reports a write that did not take every byte; a save to a file
// that fails, or that a handler cancels, leaves the file that was there byte for byte.
TEST(Saving, FailuresAreReportedAndLeaveTheFileThatWasThere) {
  TJPEGImage loaded, bitmapOnly, tooWide, cancelled;
  Load(loaded, MakeJpeg(20, 20));
  auto bitmap = PatternBitmap(20, 20);
  bitmapOnly.Assign(bitmap.get());
  TPicture holder;
  holder.SetGraphic(&loaded);
  const std::pair<const char*, std::function<void(TStream&)>> saves[] = {
      {"picture", [&](TStream& s) { loaded.SaveToStream(s); }},
      {"compressed picture", [&](TStream& s) { bitmapOnly.SaveToStream(s); }},
      {"picture form data", [&](TStream& s) { loaded.WriteData(s); }},
      {"bitmap", [&](TStream& s) { bitmap->SaveToStream(s); }},
      {"holder's data", [&](TStream& s) { holder.WriteData(s); }}};
  for (const auto& [name, save] : saves) {
    SCOPED_TRACE(name);
    TenByteStream stream;
    EXPECT_THROW(save(stream), EWriteError);
  }
  EXPECT_THROW(loaded.SaveToFile("/dev/full"), EWriteError);

  TempDir dir;
  const std::string keep = dir.Path("keep.jpg").string();
  const Bytes kept = MakeJpeg(9, 9);
  WriteFileBytes(keep, kept);
  tooWide.Assign(PatternBitmap(65501, 1).get());
  cancelled.Assign(bitmap.get());
  cancelled.OnProgress = [](TObject*, TProgressStage, std::uint8_t, bool, const TRect&,
                            const AnsiString&) { Abort(); };
  EXPECT_THROW(tooWide.SaveToFile(keep), EJPEG);
  EXPECT_THROW(cancelled.SaveToFile(keep), EAbort);
  EXPECT_EQ(ReadFileBytes(keep), kept);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()), {}), 1);
}

// A blank picture's payload is a count of 0; one that holds only a bitmap is compressed, so that
// its image survives.
TEST(FormPayload, BlankIsACountOfZeroABitmapIsCompressedAndDamagedCountsChangeNothing) {
  TJPEGImage blank, bitmapOnly, restored;
  TMemoryStream payload;
  blank.WriteData(payload);
  EXPECT_EQ(BytesOf(payload), (Bytes{0, 0, 0, 0}));
  bitmapOnly.Assign(PatternBitmap(19, 11).get());
  bitmapOnly.WriteData(payload);
  payload.SetPosition(4);
  restored.ReadData(payload);
  EXPECT_EQ(restored.GetWidth(), 19);

  // Damaged counts are read errors that change nothing.
  const TJPEGData* record = restored.SharedDataRecord();
  const Bytes jpeg = BytesOf(*restored.Data().JpegStream);
  const Bytes damaged[] = {{0x05, 0x00},                                // count cut short
                           {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD8},        // negative
                           {0x10, 0x00, 0x00, 0x00, 0xFF, 0xD8, 0xFF},  // more than is left
                           {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xD8}};
  for (const Bytes& bytes : damaged) {
    EXPECT_THROW(restored.ReadData(*StreamOf(bytes)), EReadError);
    EXPECT_EQ(restored.SharedDataRecord(), record);
    EXPECT_EQ(BytesOf(*restored.Data().JpegStream), jpeg);
  }
}

// Streams, files and the holder's form payload (class name, 32-bit little-endian count, bytes)
// carry exactly the loaded bytes, whatever the positions.
TEST(Registry, BothExtensionsLoadAsJpegAndSaveAndSurviveTheDataPropertyByteForByte) {
  EXPECT_STREQ(TPicture::FindClassByExtension("jpeg")->name, "TJPEGImage");
  const Bytes jpeg = MakeJpeg(300, 300, "-progressive");
  ASSERT_GT(jpeg.size(), 256u);  // so that the count has two bytes that matter
  TempDir dir;
  WriteFileBytes(dir.Path("cover.JPG"), jpeg);
  TPicture holder;
  holder.LoadFromFile(dir.Path("cover.JPG").string());
  auto* loaded = dynamic_cast<TJPEGImage*>(holder.Graphic());
  ASSERT_NE(loaded, nullptr);
  // The header read left the data's position at its end; the save starts at the beginning.
  EXPECT_EQ(Save(*loaded), jpeg);

  TMemoryStream data;
  data.WriteBuffer("\x09\x09", 2);  // read back from the middle of a longer stream
  holder.WriteData(data);
  data.WriteBuffer("\x07", 1);
  const std::string start = "\x09\x09\x0ATJPEGImage";
  Bytes expected(start.begin(), start.end());
  for (int shift = 0; shift < 32; shift += 8)
    expected.push_back(std::uint8_t(jpeg.size() >> shift));
  expected.insert(expected.end(), jpeg.begin(), jpeg.end());
  expected.push_back(7);
  EXPECT_EQ(BytesOf(data), expected);
  data.SetPosition(2);
  TPicture restored;
  restored.ReadData(data);
  auto* picture = dynamic_cast<TJPEGImage*>(restored.Graphic());
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(Save(*picture), jpeg);
  EXPECT_EQ(data.GetPosition(), data.GetSize() - 1);
}

}  // namespace
