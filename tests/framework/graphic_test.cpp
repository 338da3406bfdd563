#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/sharedimage.h"
#include "framework/system/exceptions.h"
#include "tests/framework/bitmap_helpers.h"
#include "tests/framework/temp_dir.h"

namespace {

class CountedImage : public TSharedImage {
 public:
  explicit CountedImage(std::vector<const char*>& log) : log_(log) {}
  ~CountedImage() override { log_.push_back("destroyed"); }

 protected:
  void ReleaseHandles() override { log_.push_back("handles"); }

 private:
  std::vector<const char*>& log_;
};

TEST(SharedImage, LastReleaseFreesHandlesThenTheRecord) {
  std::vector<const char*> log;
  auto* image = new CountedImage(log);
  image->Reference();
  image->Reference();
  image->Release();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(image->RefCount(), 1);
  image->Release();
  EXPECT_EQ(log, (std::vector<const char*>{"handles", "destroyed"}));
}

TEST(Graphic, ChangeAndProgressReachTheirHandlers) {
  TBitmap bitmap;
  std::vector<TObject*> changes;
  bitmap.OnChange = [&](TObject* sender) { changes.push_back(sender); };
  EXPECT_FALSE(bitmap.Modified());
  bitmap.SetSize(2, 2);
  EXPECT_TRUE(bitmap.Modified());
  EXPECT_EQ(changes, std::vector<TObject*>{&bitmap});
  bitmap.SetModified(false);
  EXPECT_FALSE(bitmap.Modified());

  int progressCalls = 0;
  bitmap.OnProgress = [&](TObject* sender, TProgressStage stage, std::uint8_t percent, bool redraw,
                          const TRect& rect, const AnsiString& message) {
    ++progressCalls;
    EXPECT_EQ(sender, &bitmap);
    EXPECT_EQ(stage, psRunning);
    EXPECT_EQ(percent, 40);
    EXPECT_TRUE(redraw);
    EXPECT_EQ(rect, (TRect{1, 2, 3, 4}));
    EXPECT_EQ(message, "half");
  };
  bitmap.Progress(&bitmap, psRunning, 40, true, TRect{1, 2, 3, 4}, "half");
  EXPECT_EQ(progressCalls, 1);
}

TEST(Graphic, FormPayloadIsACountedBmpFile) {
  TBitmap bitmap;
  bitmap.SetSize(3, 1);
  SetPixel(bitmap, 2, 0, RGB(1, 2, 3));
  TMemoryStream payload;
  bitmap.WriteData(payload);
  TMemoryStream file;
  bitmap.SaveToStream(file);
  ASSERT_EQ(file.GetSize(), 14 + 40 + 12);
  ASSERT_EQ(payload.GetSize(), 4 + file.GetSize());
  const std::uint8_t count[4] = {66, 0, 0, 0};
  EXPECT_EQ(std::memcmp(payload.Memory(), count, 4), 0);
  EXPECT_EQ(std::memcmp(payload.Memory() + 4, file.Memory(), 66), 0);

  // The reader takes exactly the counted bytes and leaves what follows.
  payload.SetPosition(payload.GetSize());
  payload.WriteBuffer("tail", 4);
  payload.SetPosition(0);
  TBitmap copy;
  copy.ReadData(payload);
  EXPECT_TRUE(copy.IsEqual(&bitmap));
  EXPECT_EQ(payload.GetPosition(), 70);

  TMemoryStream cut;
  cut.WriteBuffer(payload.Memory(), 3);
  cut.SetPosition(0);
  EXPECT_THROW(copy.ReadData(cut), EReadError);
}

TEST(Graphic, FilesGoThroughTheStreamFormat) {
  TempDir dir;
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf4bit);
  bitmap.SetPalette(GrayPalette(16));
  bitmap.SetSize(5, 3);
  bitmap.ScanLine(2)[1] = 0x9A;
  bitmap.SaveToFile(dir.Path() + "/b.bmp");
  TBitmap loaded;
  loaded.LoadFromFile(dir.Path() + "/b.bmp");
  EXPECT_TRUE(loaded.IsEqual(&bitmap));
  EXPECT_THROW(loaded.LoadFromFile(dir.Path() + "/none.bmp"), EFOpenError);
  EXPECT_TRUE(loaded.IsEqual(&bitmap));
}

}  // namespace
