// How data enters and leaves a picture: header-only loading of real JPEG files, bad headers,
// plain streams and files, the form payload, and the registry by file extension.
#include <gtest/gtest.h>
#include <jerror.h>

#include <limits>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/picture.h"
#include "framework/system/exceptions.h"
#include "jpeg/jpeg.h"
#include "tests/jpeg/test_support.h"

namespace {

struct LoadCase {
  const char* cjpegOptions;
  bool grayInput;
  int width;
  int height;
  bool grayscale;
  bool progressive;
};

class LoadingTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadingTest, HeaderGivesSizeColourAndScanKindBeforeAnyDecode) {
  const LoadCase& c = GetParam();
  const Bytes jpeg = MakeJpeg(c.width, c.height, c.cjpegOptions, c.grayInput);
  // The opposite of what the file says, so that loading visibly sets it.
  TJPEGDefaults options;
  options.SaveProgressive = !c.progressive;
  ScopedDefaults defaults(options);
  TJPEGImage picture;
  int changes = 0;
  picture.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &picture);
    ++changes;
  };
  picture.LoadFromStream(*StreamOf(jpeg));

  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(picture.PaletteModified);
  EXPECT_FALSE(picture.Empty());
  EXPECT_EQ(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(picture.GetWidth(), c.width);
  EXPECT_EQ(picture.GetHeight(), c.height);
  EXPECT_EQ(picture.IsGrayscale(), c.grayscale);
  EXPECT_FALSE(picture.GrayOutput());
  EXPECT_EQ(picture.SaveProgressive(), c.progressive);
  EXPECT_EQ(BytesOf(*picture.Data().JpegStream), jpeg);
}

INSTANTIATE_TEST_SUITE_P(CjpegFiles, LoadingTest,
                         ::testing::Values(LoadCase{"", false, 97, 61, false, false},
                                           LoadCase{"-progressive", false, 64, 200, false, true},
                                           LoadCase{"-grayscale", false, 33, 17, true, false},
                                           LoadCase{"", true, 1, 1, true, false},
                                           LoadCase{"-progressive", true, 300, 2, true, true},
                                           LoadCase{"-arithmetic", false, 45, 45, false, false}));

TEST(Loading, StreamAtItsEndGivesEmptyButPresentData) {
  TJPEGDefaults options;
  options.SaveProgressive = true;
  ScopedDefaults defaults(options);
  auto stream = StreamOf(MakeJpeg(10, 10));
  stream->Seek(0, TSeekOrigin::soEnd);
  TJPEGImage picture;
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  picture.LoadFromStream(*stream);
  ASSERT_NE(picture.Data().JpegStream, nullptr);
  EXPECT_EQ(picture.Data().JpegStream->GetSize(), 0);
  EXPECT_FALSE(picture.Empty());
  EXPECT_EQ(picture.GetWidth(), 0);
  EXPECT_EQ(picture.GetHeight(), 0);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(picture.SaveProgressive());
}

TEST(Loading, TakesOnlyTheBytesAfterThePosition) {
  const Bytes jpeg = MakeJpeg(12, 9);
  Bytes prefixed = {1, 2, 3, 4, 5};
  prefixed.insert(prefixed.end(), jpeg.begin(), jpeg.end());
  auto stream = StreamOf(prefixed);
  stream->SetPosition(5);
  TJPEGImage picture;
  picture.LoadFromStream(*stream);
  EXPECT_EQ(BytesOf(*picture.Data().JpegStream), jpeg);
  EXPECT_EQ(picture.GetWidth(), 12);
}

TEST(Loading, UnreadableHeadersRaiseAndKeepTheNewBytes) {
  const Bytes jpeg = MakeJpeg(20, 20);
  std::size_t scan = 0;
  while (!(jpeg[scan] == 0xFF && jpeg[scan + 1] == 0xDA)) ++scan;
  const Bytes beforeScan(jpeg.begin(), jpeg.begin() + static_cast<long>(scan));
  // The same segments without the frame header: tables only.
  Bytes tablesOnly = {0xFF, 0xD8};
  for (std::size_t at = 2; at < scan;) {
    const std::size_t length = 2u + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    const std::uint8_t marker = jpeg[at + 1];
    const bool frameHeader =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (!frameHeader)
      tablesOnly.insert(tablesOnly.end(), jpeg.begin() + at, jpeg.begin() + at + length);
    at += length;
  }
  tablesOnly.push_back(0xFF);
  tablesOnly.push_back(0xD9);
  const struct {
    Bytes bytes;
    int code;
  } cases[] = {{{'G', 'I', 'F', '8', '9', 'a'}, JERR_NO_SOI},
               {beforeScan, JERR_SOF_NO_SOS},
               {tablesOnly, JERR_NO_IMAGE}};
  for (const auto& c : cases) {
    TJPEGImage picture;
    picture.LoadFromStream(*StreamOf(MakeJpeg(5, 5)));
    int changes = 0;
    picture.OnChange = [&](TObject*) { ++changes; };
    try {
      picture.LoadFromStream(*StreamOf(c.bytes));
      ADD_FAILURE() << "no exception";
    } catch (const EJPEG& error) {
      EXPECT_EQ(error.Message(), "JPEG error #" + std::to_string(c.code));
    }
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(BytesOf(*picture.Data().JpegStream), c.bytes);
    EXPECT_EQ(picture.GetWidth(), 0);
    EXPECT_EQ(picture.GetHeight(), 0);
  }
}

TEST(Loading, WithoutAReadableHeaderTheSizeIsZeroAtEveryScale) {
  TJPEGDefaults options;
  options.ShrinkFactor = sfQuarter;
  ScopedDefaults defaults(options);
  for (const Bytes& bytes : {Bytes{}, Bytes{'n', 'o', 'p', 'e'}}) {
    TJPEGImage picture;
    try {
      picture.LoadFromStream(*StreamOf(bytes));
    } catch (const EJPEG&) {
    }
    EXPECT_EQ(picture.GetWidth(), 0);
    EXPECT_EQ(picture.GetHeight(), 0);
  }
}

// Reports a size past what a 32-bit count can hold, without holding the bytes.
class HugeStream : public TStream {
 public:
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    if (origin == TSeekOrigin::soBeginning) position_ = offset;
    if (origin == TSeekOrigin::soCurrent) position_ += offset;
    if (origin == TSeekOrigin::soEnd) position_ = kSize + offset;
    return position_;
  }
  std::int64_t GetSize() override { return kSize; }
  static constexpr std::int64_t kSize = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;

 private:
  std::int64_t position_ = 0;
};

TEST(Loading, MoreThanACountCanHoldIsAReadError) {
  const Bytes jpeg = MakeJpeg(6, 6);
  TJPEGImage picture;
  picture.LoadFromStream(*StreamOf(jpeg));
  HugeStream huge;
  EXPECT_THROW(picture.LoadFromStream(huge), EReadError);
  EXPECT_EQ(BytesOf(*picture.Data().JpegStream), jpeg);
}

TEST(PlainStream, WritesExactlyTheLoadedBytesAndFilesRoundTrip) {
  const Bytes jpeg = MakeJpeg(50, 40, "-progressive");
  TempDir dir;
  WriteFileBytes(dir.Path("in.jpg"), jpeg);
  TJPEGImage picture;
  picture.LoadFromFile(dir.Path("in.jpg").string());
  picture.Data().JpegStream->Seek(0, TSeekOrigin::soEnd);  // the writers ignore the position
  TMemoryStream written;
  picture.SaveToStream(written);
  EXPECT_EQ(BytesOf(written), jpeg);
  picture.SaveToFile(dir.Path("out.jpg").string());
  EXPECT_EQ(ReadFileBytes(dir.Path("out.jpg")), jpeg);
}

TEST(PlainStream, BlankPictureWritesNothing) {
  TJPEGImage picture;
  TMemoryStream written;
  picture.SaveToStream(written);
  EXPECT_EQ(written.GetSize(), 0);
}

Bytes FormPayload(TJPEGImage& picture) {
  TMemoryStream payload;
  picture.WriteData(payload);
  return BytesOf(payload);
}

TEST(FormPayload, IsALittleEndianCountAndTheBytes) {
  TJPEGImage blank;
  EXPECT_EQ(FormPayload(blank), (Bytes{0, 0, 0, 0}));

  const Bytes jpeg = MakeJpeg(300, 300);
  ASSERT_GT(jpeg.size(), 256u);
  TJPEGImage picture;
  picture.LoadFromStream(*StreamOf(jpeg));
  const Bytes payload = FormPayload(picture);
  ASSERT_EQ(payload.size(), 4 + jpeg.size());
  const std::uint32_t count = payload[0] | payload[1] << 8 | payload[2] << 16 |
                              static_cast<std::uint32_t>(payload[3]) << 24;
  EXPECT_EQ(count, jpeg.size());
  EXPECT_EQ(Bytes(payload.begin() + 4, payload.end()), jpeg);

  // Read back from the middle of a longer stream, leaving what follows.
  Bytes framed = {9, 9};
  framed.insert(framed.end(), payload.begin(), payload.end());
  framed.push_back(7);
  auto stream = StreamOf(framed);
  stream->SetPosition(2);
  TJPEGImage restored;
  restored.ReadData(*stream);
  EXPECT_EQ(BytesOf(*restored.Data().JpegStream), jpeg);
  EXPECT_EQ(restored.GetWidth(), 300);
  EXPECT_EQ(restored.GetHeight(), 300);
  EXPECT_EQ(stream->GetPosition(), static_cast<std::int64_t>(framed.size()) - 1);
}

TEST(FormPayload, APictureHoldingOnlyABitmapKeepsItsImage) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(19, 11);
  TJPEGImage picture;
  picture.Assign(&bitmap);
  const Bytes payload = FormPayload(picture);
  ASSERT_GT(payload.size(), 4u);
  EXPECT_EQ(payload[4], 0xFF);
  EXPECT_EQ(payload[5], 0xD8);
  TJPEGImage restored;
  restored.ReadData(*StreamOf(payload));
  EXPECT_EQ(restored.GetWidth(), 19);
  EXPECT_EQ(restored.GetHeight(), 11);
}

TEST(FormPayload, DamagedCountsAreReadErrorsThatChangeNothing) {
  const Bytes jpeg = MakeJpeg(8, 8);
  const Bytes damaged[] = {
      {0x05, 0x00},                                 // count cut short
      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD8},         // negative
      {0x10, 0x00, 0x00, 0x00, 0xFF, 0xD8, 0xFF},   // more than the stream holds
      {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xD8, 0xFF}};  // far more
  for (const Bytes& payload : damaged) {
    TJPEGImage picture;
    picture.LoadFromStream(*StreamOf(jpeg));
    const TJPEGData* record = picture.SharedDataRecord();
    EXPECT_THROW(picture.ReadData(*StreamOf(payload)), EReadError);
    EXPECT_EQ(picture.SharedDataRecord(), record);
    EXPECT_EQ(BytesOf(*picture.Data().JpegStream), jpeg);
    EXPECT_EQ(picture.GetWidth(), 8);
  }
}

TEST(Registry, PicturesOfBothExtensionsLoadAsJpegAndSurviveTheDataProperty) {
  for (const char* extension : {"jpeg", "jpg"}) {
    const TGraphicClass* found = TPicture::FindClassByExtension(extension);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name, "TJPEGImage");
  }
  const Bytes jpeg = MakeJpeg(21, 13);
  TempDir dir;
  WriteFileBytes(dir.Path("cover.JPG"), jpeg);
  TPicture holder;
  holder.LoadFromFile(dir.Path("cover.JPG").string());
  ASSERT_NE(dynamic_cast<TJPEGImage*>(holder.Graphic()), nullptr);
  EXPECT_EQ(holder.Width(), 21);

  TMemoryStream data;
  holder.WriteData(data);
  const Bytes stored = BytesOf(data);
  ASSERT_GE(stored.size(), 11u);
  EXPECT_EQ(stored[0], 10);
  EXPECT_EQ(std::string(stored.begin() + 1, stored.begin() + 11), "TJPEGImage");
  data.SetPosition(0);
  TPicture restored;
  restored.ReadData(data);
  auto* picture = dynamic_cast<TJPEGImage*>(restored.Graphic());
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(BytesOf(*picture->Data().JpegStream), jpeg);
}

}  // namespace
