// Decoding and compressing a picture: when each runs, its notifications, and cancelling,
// failing or changing the picture from a notification.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "framework/graphics/clipboard.h"
#include "framework/graphics/picture.h"
#include "framework/platform/clock.h"
#include "tests/jpeg/test_support.h"

namespace {

class RunTest : public PaletteLeakCheck {
 protected:
  void TearDown() override {
    SetTickCountSource({});
    PaletteLeakCheck::TearDown();
  }

  // Logs notifications as "s0" (starting, 0 %), "r" (running ones), "e100R" (ending with
  // redraw) and "c" (change); failure is thrown once by the handler of stage failAt.
  void Watch(TJPEGImage& picture) {
    picture.OnChange = [this](TObject*) { log += "c "; };
    picture.OnProgress = [this](TObject*, TProgressStage stage, std::uint8_t percent, bool redraw,
                                const TRect& rect, const AnsiString&) {
      if (stage == psRunning) {
        if (!log.ends_with("r ")) log += "r ";
      } else {
        EXPECT_EQ(rect, TRect{});
        log += (stage == psStarting ? "s" : "e") + std::to_string(percent) + (redraw ? "R " : " ");
      }
      if (failure && stage == failAt) std::rethrow_exception(std::exchange(failure, nullptr));
    };
  }

  // Every clock read is 600 ms after the last, so that every library callback may report.
  static void UseFastClock() {
    SetTickCountSource([tick = std::uint32_t{1}]() mutable { return tick += 600; });
  }

  std::string log;
  TProgressStage failAt = psStarting;
  std::exception_ptr failure;
};

// A bitmap is compressed once, and a save writes only a complete compression: one that is
// cancelled or fails keeps no bytes, so the next save compresses again (or fails again), and a
// save from a handler of the running compression is refused, also for a copy sharing its data.
// A bitmap without pixels, or none, is never compressed.
TEST_F(RunTest, CompressionRunsOnceAndOnlyItsCompleteResultIsSaved) {
  TJPEGImage blank;
  EXPECT_TRUE(GetDecodedBitmap(blank)->Empty());
  const auto bitmap = PatternBitmap(300, 200);
  TJPEGImage picture;
  Watch(picture);
  picture.Assign(bitmap.get());
  const Bytes complete = Save(picture);
  EXPECT_GT(complete.size(), 100u);
  EXPECT_EQ(Save(picture), complete);
  EXPECT_EQ(log, "s0 e100 ");

  UseFastClock();
  const struct {
    const char* name;
    std::exception_ptr failure;  // thrown by the handler of the first running notification
    int width;
    std::function<void(TJPEGImage&)> expectFailedSave;
  } failures[] = {
      {"cancelled", std::make_exception_ptr(EAbort("cancel")), 300,
       [](TJPEGImage& p) { EXPECT_THROW(Save(p), EAbort) << "the save is cancelled too"; }},
      {"failed", std::make_exception_ptr(std::runtime_error("broke")), 300,
       [](TJPEGImage& p) { EXPECT_THROW(Save(p), std::runtime_error); }},
      {"too wide", nullptr, 65501, [](TJPEGImage& p) { EXPECT_THROW(Save(p), EJPEG); }}};
  for (const auto& c : failures) {
    SCOPED_TRACE(c.name);
    TJPEGImage failing;
    Watch(failing);
    failAt = psRunning;
    failure = c.failure;
    failing.Assign(c.width == 300 ? bitmap.get() : PatternBitmap(c.width, 1).get());
    c.expectFailedSave(failing);
    EXPECT_EQ(failing.Data().JpegStream, nullptr);
    if (c.width == 300) {
      EXPECT_EQ(Save(failing), complete);
    } else {
      EXPECT_EQ(failing.Data().ImageWidth, c.width);
      c.expectFailedSave(failing);
    }
  }

  TJPEGImage saving;
  saving.Assign(bitmap.get());
  int nestedSaves = 0;
  saving.OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t, bool, const TRect&,
                          const AnsiString&) {
    if (stage != psRunning || nestedSaves++ > 0) return;
    TJPEGImage copy;
    copy.Assign(&saving);
    EXPECT_THROW(Save(copy), EInvalidGraphicOperation);
    EXPECT_THROW(Save(saving), EInvalidGraphicOperation);
  };
  EXPECT_EQ(Save(saving), complete);
  EXPECT_GT(nestedSaves, 0);

  log.clear();
  for (const bool withBitmap : {false, true}) {
    TJPEGImage empty;
    Watch(empty);
    if (withBitmap) empty.Assign(PatternBitmap(0, 5).get());
    EXPECT_TRUE(Save(empty).empty());
    EXPECT_FALSE(empty.Empty()) << "it now holds empty data";
    EXPECT_TRUE(Save(empty).empty());
  }
  EXPECT_EQ(log, "");
}

// A decode runs once, then answers silently. Cancelling from any stage ends it quietly and
// keeps whatever was decoded; any other failure reaches the caller once, and the picture decodes
// again when next asked.
TEST_F(RunTest, DecodeRunsOnceAndCancellingOrFailingLeavesThePictureUsable) {
  UseFastClock();
  const Bytes jpeg = MakeJpeg(64, 96);
  enum Outcome { kDone, kCancelled, kFailed };
  const struct {
    TProgressStage stage;
    Outcome outcome;
    const char* log;
  } cases[] = {{psEnding, kDone, "s0 r e100R c "},
               {psStarting, kCancelled, "s0 "},
               {psRunning, kCancelled, "s0 r e0R c "},
               {psEnding, kCancelled, "s0 r e100R "},
               {psRunning, kFailed, "s0 r e0R c "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log);
    log.clear();
    TJPEGImage picture;
    Load(picture, jpeg);
    Watch(picture);
    failAt = c.stage;
    if (c.outcome == kCancelled) failure = std::make_exception_ptr(EAbort("cancel"));
    if (c.outcome == kFailed) failure = std::make_exception_ptr(std::runtime_error("broke"));
    if (c.outcome == kFailed) {
      EXPECT_THROW(GetDecodedBitmap(picture), std::runtime_error);
      EXPECT_EQ(log, c.log);
      EXPECT_EQ(GetDecodedBitmap(picture)->GetWidth(), 64);
    } else {
      TBitmap* bitmap = GetDecodedBitmap(picture);
      EXPECT_EQ(bitmap->GetHeight(), c.stage == psStarting ? 0 : 96);
      EXPECT_EQ(GetDecodedBitmap(picture), bitmap);
      EXPECT_EQ(log, c.log);
    }
    EXPECT_EQ(Save(picture), jpeg) << "the loaded bytes are saved, not a compression";
  }
}

// A handler invited to repaint the rows decoded so far sees cleared rows below them, never the
// picture that used the same memory before (a released large block is kept for reuse).
TEST_F(RunTest, RowsNotDecodedYetShowNoEarlierPicture) {
  const int width = 1600, height = 1200;
  const Bytes jpeg = MakeJpeg(width, height);
  {
    TJPEGImage earlier;
    Load(earlier, jpeg);
    ASSERT_GT(GetDecodedBitmap(earlier)->ScanLine(height - 1)[1], 200);
  }
  UseFastClock();
  TJPEGImage picture;
  Load(picture, jpeg);
  bool checked = false;
  picture.OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t, bool, const TRect& rect,
                           const AnsiString&) {
    if (stage != psRunning || rect.Bottom >= height || std::exchange(checked, true)) return;
    const TBitmap& bitmap = *GetDecodedBitmap(picture);
    for (int row = rect.Bottom; row < height; ++row) {
      const std::uint8_t* pixels = bitmap.ScanLine(row);
      ASSERT_EQ(std::count(pixels, pixels + width * 3, 0), width * 3) << "row " << row;
    }
  };
  GetDecodedBitmap(picture);
  EXPECT_TRUE(checked);
}

// Shown while loading, an 8-bit picture too large for a pass to be shown (each counts eight
// times) has only the final pass, whose palette prescan advances the library's row count without
// writing a row.
TEST_F(RunTest, RowsOfAPalettePrescanShowNoEarlierPicture) {
  ScopedDefaults defaults({.BitmapDepth = bd8Bit, .ShowWhileLoading = true});
  const int side = 6000;
  const Bytes jpeg = MakeJpeg(side, side, "-progressive -quality 5");
  {
    TJPEGImage earlier;
    Load(earlier, jpeg);
    const std::uint8_t* lastRow = GetDecodedBitmap(earlier)->ScanLine(side - 1);
    ASSERT_LT(std::count(lastRow, lastRow + side, 0), side);
  }
  UseFastClock();
  TJPEGImage picture;
  Load(picture, jpeg);
  bool checked = false;
  picture.OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t, bool, const TRect&,
                           const AnsiString&) {
    if (stage != psRunning || std::exchange(checked, true)) return;
    const TBitmap& bitmap = *GetDecodedBitmap(picture);
    for (int row = 0; row < side; ++row) {
      const std::uint8_t* pixels = bitmap.ScanLine(row);
      ASSERT_EQ(std::count(pixels, pixels + side, 0), side) << "row " << row;
    }
  };
  GetDecodedBitmap(picture);
  EXPECT_TRUE(checked);
}

// A handler may load, assign, repaint or draw on the picture being decoded or saved: the run
// keeps what it uses, a save writes the picture as it was when saving began, the picture then
// shows the handler's change, and no call hands out a freed object.
TEST_F(RunTest, HandlerThatChangesThePictureFreesNothingInUse) {
  UseFastClock();
  const Bytes jpeg = MakeJpeg(64, 96), other = MakeJpeg(20, 10);
  const struct {
    const char* name;
    std::function<void(TJPEGImage&)> change;
    int width;  // of the picture afterwards; 0: as before
  } changes[] = {{"new data", [&](TJPEGImage& p) { Load(p, other); }, 20},
                 {"a bitmap", [](TJPEGImage& p) { p.Assign(PatternBitmap(7, 5).get()); }, 7},
                 {"another picture",
                  [&](TJPEGImage& p) {
                    TJPEGImage another;
                    Load(another, other);
                    GetDecodedBitmap(another);
                    p.Assign(&another);
                  },
                  20},
                 {"a new palette", [](TJPEGImage& p) { p.SetPalette(GrayPalette(16)); }, 0},
                 {"its pixels",
                  [](TJPEGImage& p) {
                    TBitmap& bitmap = *p.DecodedBitmapOrNull();
                    for (int y = 0; y < bitmap.GetHeight(); ++y) bitmap.ScanLine(y)[0] = 0xEE;
                  },
                  0}};
  const auto pattern = PatternBitmap(300, 200);
  TJPEGImage untouched;
  untouched.Assign(pattern.get());
  const Bytes saved = Save(untouched);
  for (const bool saving : {false, true}) {
    for (const auto& c : changes) {
      for (const TProgressStage stage : {psStarting, psRunning}) {
        SCOPED_TRACE(std::string(saving ? "saving, " : "decoding, ") + c.name +
                     (stage == psStarting ? " when starting" : " running"));
        TJPEGImage picture;
        if (saving) {
          picture.Assign(pattern.get());
        } else {
          Load(picture, jpeg);
        }
        bool changed = false;
        picture.OnProgress = [&](TObject*, TProgressStage at, std::uint8_t, bool, const TRect&,
                                 const AnsiString&) {
          if (at == stage && !std::exchange(changed, true)) c.change(picture);
        };
        if (saving) {
          EXPECT_EQ(Save(picture), saved);
          EXPECT_EQ(picture.GetWidth(), c.width == 0 ? 300 : c.width);
        } else {
          TBitmap* bitmap = GetDecodedBitmap(picture);
          EXPECT_EQ(bitmap, picture.DecodedBitmapOrNull());
          EXPECT_EQ(bitmap->GetWidth(), c.width == 0 ? 64 : c.width);
          if (c.width == 20) {
            ExpectSameColours(Djpeg(other, DjpegOptions({})), Resolve(*bitmap));
          }
        }
        EXPECT_TRUE(changed);
      }
    }
  }
}

// While a decode writes rows into the bitmap, a handler that reaches the bitmap cannot change its
// size, pixel format, row order or memory: the call is refused, and the decode ends with the
// picture djpeg shows. Once the decode is over, each call works.
TEST_F(RunTest, HandlerCannotReshapeTheBitmapBeingDecoded) {
  UseFastClock();
  const Bytes jpeg = MakeJpeg(64, 96, "-progressive");
  const auto pattern = PatternBitmap(5, 3);
  TMemoryStream bmp, payload;
  pattern->SaveToStream(bmp);
  pattern->WriteData(payload);
  std::uint16_t format = 0;
  THandle clip = 0;
  HPALETTE clipPalette = 0;
  pattern->SaveToClipboardFormat(format, clip, clipPalette);
  const std::pair<const char*, std::function<void(TBitmap&)>> calls[] = {
      {"SetHandle", [](TBitmap& b) { b.SetHandle(0); }},
      {"SetSize", [](TBitmap& b) { b.SetSize(3, 2); }},
      {"SetWidth", [](TBitmap& b) { b.SetWidth(3); }},
      {"SetHeight", [](TBitmap& b) { b.SetHeight(2); }},
      {"SetSizeUncleared", [](TBitmap& b) { b.SetSizeUncleared(3, 2); }},
      {"SetPixelFormat", [](TBitmap& b) { b.SetPixelFormat(pf32bit); }},
      {"SetTopDown", [](TBitmap& b) { b.SetTopDown(!b.TopDown()); }},
      {"Assign", [&](TBitmap& b) { b.Assign(pattern.get()); }},
      {"LoadFromStream", [&](TBitmap& b) { b.LoadFromStream(*StreamOf(BytesOf(bmp))); }},
      {"ReadData", [&](TBitmap& b) { b.ReadData(*StreamOf(BytesOf(payload))); }},
      {"LoadFromClipboardFormat",
       [&](TBitmap& b) { b.LoadFromClipboardFormat(format, clip, clipPalette); }}};
  for (const bool shown : {false, true}) {
    ScopedDefaults defaults({.ShowWhileLoading = shown});
    const Image expected = Djpeg(jpeg, DjpegOptions({}));
    for (const auto& [name, call] : calls) {
      for (const TProgressStage stage : {psStarting, psRunning}) {
        SCOPED_TRACE(std::string(name) + (shown ? ", shown while loading" : "") +
                     (stage == psStarting ? ", when starting" : ", running"));
        TJPEGImage picture;
        Load(picture, jpeg);
        int refused = 0;
        picture.OnProgress = [&](TObject*, TProgressStage at, std::uint8_t, bool, const TRect&,
                                 const AnsiString&) {
          if (at != stage || refused > 0) return;
          EXPECT_THROW(call(*GetDecodedBitmap(picture)), EInvalidGraphicOperation);
          ++refused;
        };
        TBitmap& bitmap = *GetDecodedBitmap(picture);
        EXPECT_EQ(refused, 1);
        ExpectSameColours(expected, Resolve(bitmap));
        call(bitmap);
      }
    }
  }
  GlobalFree(clip);
}

TEST_F(RunTest, HolderRefusesToFreeAPictureFromItsOwnHandler) {
  TPicture holder;
  auto owned = std::make_unique<TJPEGImage>();
  TJPEGImage& picture = *owned;
  Load(picture, MakeJpeg(16, 16));
  holder.SetGraphic(std::move(owned));
  picture.OnProgress = [&](TObject*, TProgressStage, std::uint8_t, bool, const TRect&,
                           const AnsiString&) { holder.SetGraphic(nullptr); };
  EXPECT_THROW(GetDecodedBitmap(picture), EInvalidGraphicOperation);
  picture.Assign(PatternBitmap(4, 4).get());
  EXPECT_THROW(Save(picture), EInvalidGraphicOperation);
  EXPECT_EQ(holder.Graphic(), &picture);
}

}  // namespace
