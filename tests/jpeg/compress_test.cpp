// Saving a picture: what is compressed when, the notifications of a compression, and how a
// cancelled or failed compression leaves the picture.
#include <gtest/gtest.h>

#include "tests/jpeg/test_support.h"

namespace {

class CompressTest : public PaletteLeakCheck {
 protected:
  // Logs notifications as "s0", "e100" (compression never asks for a redraw and reports no
  // rectangle); abortAtStart cancels from the starting one.
  void Watch(TJPEGImage& picture) {
    picture.OnProgress = [this](TObject*, TProgressStage stage, std::uint8_t percent, bool redraw,
                                const TRect& rect, const AnsiString&) {
      EXPECT_FALSE(redraw);
      EXPECT_EQ(rect, TRect{});
      if (stage != psRunning)
        log += (stage == psStarting ? "s" : "e") + std::to_string(percent) + " ";
      if (abortAtStart && stage == psStarting) throw EAbort("cancel");
    };
  }

  static std::unique_ptr<TBitmap> Bitmap(int width, int height) {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetSize(width, height);
    return bitmap;
  }

  static Bytes Save(TJPEGImage& picture) {
    TMemoryStream stream;
    picture.SaveToStream(stream);
    return BytesOf(stream);
  }

  std::string log;
  bool abortAtStart = false;
};

TEST_F(CompressTest, BitmapIsCompressedOnceWithStartingAndEndingNotifications) {
  TJPEGImage picture;
  Watch(picture);
  picture.Assign(Bitmap(40, 30).get());
  const Bytes first = Save(picture);
  EXPECT_GT(first.size(), 100u);
  EXPECT_EQ(Save(picture), first);
  EXPECT_EQ(log, "s0 e100 ");
  EXPECT_EQ(picture.GetWidth(), 40);
}

TEST_F(CompressTest, NothingToCompressSavesNothingAndStaysSo) {
  for (const bool withBitmap : {false, true}) {
    TJPEGImage picture;
    Watch(picture);
    if (withBitmap) picture.Assign(Bitmap(0, 5).get());
    EXPECT_TRUE(Save(picture).empty());
    EXPECT_FALSE(picture.Empty()) << "it now holds empty data";
    EXPECT_TRUE(Save(picture).empty());
  }
  EXPECT_EQ(log, "");
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
  EXPECT_EQ(log, "");
}

TEST_F(CompressTest, CancelFromTheStartingNotificationDropsThePartialResultQuietly) {
  TJPEGImage picture;
  Watch(picture);
  picture.Assign(Bitmap(16, 16).get());
  abortAtStart = true;
  EXPECT_TRUE(Save(picture).empty());
  EXPECT_EQ(log, "s0 ");
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
  EXPECT_EQ(log, "s0 e0 ");
  EXPECT_EQ(picture.Data().ImageWidth, 65501);
  EXPECT_TRUE(Save(picture).empty());
  EXPECT_EQ(log, "s0 e0 ");
}

}  // namespace
