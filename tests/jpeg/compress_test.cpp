// Saving a picture: what is compressed when, the notifications of a compression, and how a
// cancelled or failed compression leaves the picture.
#include <gtest/gtest.h>

#include <vector>

#include "tests/jpeg/test_support.h"

namespace {

struct Seen {
  TProgressStage stage;
  int percent;
  TRect rect;
};

class CompressTest : public PaletteLeakCheck {
 protected:
  void Watch(TJPEGImage& picture) {
    picture.OnProgress = [this](TObject*, TProgressStage stage, std::uint8_t percent, bool redraw,
                                const TRect& rect, const AnsiString&) {
      EXPECT_FALSE(redraw);
      seen.push_back({stage, percent, rect});
      if (abortAtStart && stage == psStarting) throw EAbort("cancel");
    };
  }

  static std::unique_ptr<TBitmap> Bitmap(int width, int height) {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    return bitmap;
  }

  static Bytes Save(TJPEGImage& picture) {
    TMemoryStream stream;
    picture.SaveToStream(stream);
    return BytesOf(stream);
  }

  std::vector<Seen> seen;
  bool abortAtStart = false;
};

TEST_F(CompressTest, BitmapIsCompressedOnceWithStartingAndEndingNotifications) {
  TJPEGImage picture;
  Watch(picture);
  picture.Assign(Bitmap(40, 30).get());
  const Bytes first = Save(picture);
  ASSERT_GT(first.size(), 100u);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].stage, psStarting);
  EXPECT_EQ(seen[0].percent, 0);
  EXPECT_EQ(seen[1].stage, psEnding);
  EXPECT_EQ(seen[1].percent, 100);
  EXPECT_EQ(seen[1].rect, TRect{});
  EXPECT_EQ(Save(picture), first);
  EXPECT_EQ(seen.size(), 2u) << "a second save compresses again";
  EXPECT_NE(picture.DecodedBitmapOrNull(), nullptr);
  EXPECT_EQ(picture.GetWidth(), 40);
}

TEST_F(CompressTest, BlankPictureSavesNothingAndStaysSo) {
  TJPEGImage picture;
  Watch(picture);
  EXPECT_TRUE(Save(picture).empty());
  EXPECT_FALSE(picture.Empty()) << "it now holds empty data";
  EXPECT_TRUE(Save(picture).empty());
  EXPECT_TRUE(seen.empty());
}

TEST_F(CompressTest, LoadedBytesAreSavedUnchangedWhateverTheOptions) {
  const Bytes jpeg = MakeJpeg(20, 12, "-progressive");
  TJPEGDefaults options;
  options.SaveQuality = 5;
  options.GrayOutput = true;
  ScopedDefaults defaults(options);
  TJPEGImage picture;
  picture.LoadFromStream(*StreamOf(jpeg));
  GetDecodedBitmap(picture);
  Watch(picture);
  EXPECT_EQ(Save(picture), jpeg);
  EXPECT_TRUE(seen.empty());
}

TEST_F(CompressTest, CancelFromTheStartingNotificationDropsThePartialResultQuietly) {
  TJPEGImage picture;
  Watch(picture);
  picture.Assign(Bitmap(16, 16).get());
  abortAtStart = true;
  EXPECT_TRUE(Save(picture).empty());
  EXPECT_EQ(seen.size(), 1u) << "no ending notification";
  EXPECT_EQ(picture.Data().JpegStream, nullptr);
  EXPECT_EQ(picture.Data().ImageWidth, 0);
  abortAtStart = false;
  EXPECT_GT(Save(picture).size(), 100u) << "the bitmap is still there to compress";
}

TEST_F(CompressTest, TooWideBitmapFailsOnceAndLaterSavesWriteNothing) {
  TJPEGImage picture;
  Watch(picture);
  picture.Assign(Bitmap(65501, 1).get());
  EXPECT_THROW(Save(picture), EJPEG);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].stage, psEnding);
  EXPECT_EQ(seen[1].percent, 0);
  EXPECT_EQ(picture.Data().ImageWidth, 65501);
  EXPECT_TRUE(Save(picture).empty());
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(CompressTest, EmptyBitmapSavesNothing) {
  TJPEGImage picture;
  Watch(picture);
  picture.Assign(Bitmap(0, 5).get());
  EXPECT_TRUE(Save(picture).empty());
  EXPECT_NE(picture.Data().JpegStream, nullptr);
  EXPECT_TRUE(seen.empty());
}

}  // namespace
