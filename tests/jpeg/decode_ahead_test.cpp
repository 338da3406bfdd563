// Decoding ahead: a loaded picture that nobody watches is decoded on a worker thread, and its
// first use shows exactly what a decode there and then would have shown; whatever would have
// seen or changed that decode makes the picture decode on its own thread after all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/platform/clock.h"
#include "jpeg/decode_pool.h"
#include "tests/jpeg/test_support.h"

namespace {

// TALVESK_DECODE_WORKERS=0 turns decoding ahead off.
bool DecodingAhead() {
  const char* workers = std::getenv("TALVESK_DECODE_WORKERS");
  return workers == nullptr || std::string(workers) != "0";
}

double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void IgnoreProgress(TObject*, TProgressStage, std::uint8_t, bool, const TRect&, const AnsiString&) {
}

// The picture's first decode, watched (on this thread, always) or not.
TJPEGImage& Loaded(TJPEGImage& picture, const Bytes& jpeg, bool watched) {
  if (watched) picture.OnProgress = IgnoreProgress;
  Load(picture, jpeg);
  return picture;
}

// A progressive file whose fourth scan names a band past the block's end: the library fails
// there, after three scans of rows have been shown.
Bytes WithBrokenFourthScan(Bytes jpeg) {
  int scans = 0;
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] != 0xFF || jpeg[i + 1] != 0xDA || ++scans < 4) continue;
    const std::size_t components = jpeg[i + 4];
    jpeg[i + 5 + 2 * components + 1] = 64;  // Se
    return jpeg;
  }
  throw std::runtime_error("fewer than four scans");
}

class DecodeAheadTest : public PaletteLeakCheck {
 protected:
  void TearDown() override {
    JpegWarningHandler = nullptr;
    SetTickCountSource({});
    PaletteLeakCheck::TearDown();
  }
  static std::vector<std::string> warnings;
  static std::thread::id warnedOn;
  static void KeepWarning(const char* text) noexcept {
    warnings.emplace_back(text);
    warnedOn = std::this_thread::get_id();
  }
};
std::vector<std::string> DecodeAheadTest::warnings;
std::thread::id DecodeAheadTest::warnedOn;

// Its first use costs the picture's thread next to nothing: the decode ran elsewhere, into the
// bitmap a decode on this thread makes.
TEST_F(DecodeAheadTest, APictureNobodyWatchesIsDecodedOnAnotherThread) {
  if (!DecodingAhead()) GTEST_SKIP() << "decoding ahead is off";
  const Bytes jpeg = MakeJpeg(1200, 900, "-progressive");
  TJPEGImage ahead, own;
  Loaded(ahead, jpeg, false);
  Loaded(own, jpeg, true);
  WaitUntilDecodePoolIdle();
  const double start = ThreadCpuMs();
  TBitmap* const bitmap = GetDecodedBitmap(ahead);
  const double aheadMs = ThreadCpuMs() - start;
  GetDecodedBitmap(own);
  const double ownMs = ThreadCpuMs() - start - aheadMs;
  EXPECT_LT(aheadMs * 10, ownMs);
  EXPECT_TRUE(bitmap->IsEqual(own.DecodedBitmapOrNull()));
  EXPECT_EQ(GetDecodedBitmap(ahead), bitmap);
}

// What happens between loading and the first use decides which decode the picture gets: a
// handler set since then hears a whole decode, a palette set since then is mapped to, new data
// are shown, and a decode that fails does so at the first use, once, keeping the rows decoded,
// as a watched picture's does.
TEST_F(DecodeAheadTest, TheFirstUseShowsWhatADecodeThenWouldShow) {
  SetTickCountSource([tick = std::uint32_t{1}]() mutable { return tick += 600; });
  const Bytes jpeg = MakeJpeg(96, 64, "-progressive");
  const struct {
    const char* name;
    TJPEGDefaults options;
    std::function<void(TJPEGImage&)> afterLoad;
    Bytes shown;  // the data the picture then holds
  } cases[] = {
      {"handler", {}, [](TJPEGImage& p) { p.OnProgress = IgnoreProgress; }, jpeg},
      {"palette",
       {.BitmapDepth = bd8Bit},
       [](TJPEGImage& p) { p.SetPalette(GrayPalette(16)); },
       jpeg},
      {"new data", {}, [](TJPEGImage& p) { Load(p, MakeJpeg(40, 30)); }, MakeJpeg(40, 30)},
      {"failure", {.ShowWhileLoading = true}, [](TJPEGImage&) {}, WithBrokenFourthScan(jpeg)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedDefaults defaults(c.options);
    TJPEGImage picture, expected;
    std::string log;
    Load(picture, c.name == std::string("failure") ? c.shown : jpeg);
    WaitUntilDecodePoolIdle();
    c.afterLoad(picture);
    if (picture.OnProgress) {
      picture.OnProgress = [&log](TObject*, TProgressStage stage, std::uint8_t, bool, const TRect&,
                                  const AnsiString&) { log += "sre"[stage]; };
    }
    Loaded(expected, c.shown, true);
    if (c.name == std::string("palette")) expected.SetPalette(GrayPalette(16));

    std::string error, expectedError;
    try {
      GetDecodedBitmap(picture);
    } catch (const EJPEG& e) {
      error = e.Message();
    }
    try {
      GetDecodedBitmap(expected);
    } catch (const EJPEG& e) {
      expectedError = e.Message();
    }
    EXPECT_EQ(error, expectedError);
    EXPECT_EQ(error.empty(), c.name != std::string("failure")) << error;
    EXPECT_TRUE(GetDecodedBitmap(picture)->IsEqual(GetDecodedBitmap(expected)));
    if (picture.OnProgress) {
      EXPECT_EQ(log.substr(0, 2), "sr") << "a whole decode, running notifications and all";
    }
  }
}

// The change notification, the palette-modified flag and the library's warnings of the decode
// reach the picture's own thread at its first use, as those of a watched decode do.
TEST_F(DecodeAheadTest, ChangeAndWarningsComeAtTheFirstUseOnThePicturesThread) {
  Bytes truncated = MakeJpeg(64, 48);
  truncated.resize(truncated.size() - 200);
  JpegWarningHandler = KeepWarning;
  for (const TJPEGPixelFormat depth : {bd24Bit, bd8Bit}) {
    SCOPED_TRACE(depth == bd8Bit ? "8-bit" : "24-bit");
    const ScopedDefaults defaults({.BitmapDepth = depth});
    struct Seen {
      int changes = 0;
      bool paletteModified = false;
      std::vector<std::string> warnings;
    } seen[2];
    for (const bool watched : {false, true}) {
      TJPEGImage picture;
      Loaded(picture, truncated, watched);
      WaitUntilDecodePoolIdle();
      picture.PaletteModified = false;
      Seen& mine = seen[watched];
      picture.OnChange = [&mine](TObject*) { ++mine.changes; };
      warnings.clear();
      warnedOn = {};
      GetDecodedBitmap(picture);
      GetDecodedBitmap(picture);
      mine.paletteModified = picture.PaletteModified;
      mine.warnings = warnings;
      EXPECT_EQ(warnedOn, std::this_thread::get_id());
    }
    EXPECT_EQ(seen[0].changes, seen[1].changes);
    EXPECT_EQ(seen[0].paletteModified, seen[1].paletteModified);
    EXPECT_EQ(seen[0].warnings, seen[1].warnings);
    EXPECT_FALSE(seen[1].warnings.empty());
  }
}

// Pictures freed, reloaded or given a palette while their decodes run leave nothing behind once
// that call returns: no bitmap, no palette, no work.
TEST_F(DecodeAheadTest, PicturesChangedOrFreedDuringTheirDecodeLeaveNothingBehind) {
  const ScopedDefaults defaults({.BitmapDepth = bd8Bit, .ShowWhileLoading = true});
  const Bytes jpeg = MakeJpeg(800, 600, "-progressive");
  const int bitmaps = TBitmap::LiveCount();
  const int palettes = GdiLiveObjectCount();
  {
    std::vector<std::unique_ptr<TJPEGImage>> pictures(6);
    for (auto& picture : pictures) Load(*(picture = std::make_unique<TJPEGImage>()), jpeg);
    pictures[0]->Assign(PatternBitmap(3, 2).get());
    pictures[1]->SetPalette(GrayPalette(4));
    pictures[1]->SetPalette(0);
    Load(*pictures[2], Bytes{});
  }
  EXPECT_EQ(TBitmap::LiveCount(), bitmaps);
  EXPECT_EQ(GdiLiveObjectCount(), palettes);
}

// A program may end at any moment: decodes still running are stopped and their threads joined
// before the program's static objects go, and the program ends as it asked.
TEST_F(DecodeAheadTest, AProgramEndingDuringDecodesEndsCleanly) {
  if (!DecodingAhead()) GTEST_SKIP() << "decoding ahead is off";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Bytes jpeg = MakeJpeg(1000, 1000, "-progressive");
  EXPECT_EXIT(
      {
        // Never freed, as a program's pictures need not be; reachable to the end.
        static TJPEGImage* running[4];
        JpegDefaultOptions.ShowWhileLoading = true;
        for (TJPEGImage*& picture : running) Load(*(picture = new TJPEGImage), jpeg);
        std::exit(3);
      },
      ::testing::ExitedWithCode(3), "^$");
}

}  // namespace
