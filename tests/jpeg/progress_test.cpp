// Running progress notifications, driven by a fake clock and hand-filled library counters.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "framework/platform/clock.h"
#include "jpeg/codec.h"
#include "tests/jpeg/test_support.h"

namespace {

struct Notification {
  TObject* sender;
  TProgressStage stage;
  int percent;
  bool redraw;
  TRect rect;
  AnsiString message;
};

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTickCountSource([this] {
      ++clockReads;
      return now;
    });
    picture.OnProgress = [this](TObject* sender, TProgressStage stage, std::uint8_t percent,
                                bool redraw, const TRect& rect, const AnsiString& message) {
      seen.push_back({sender, stage, percent, redraw, rect, message});
    };
    record.ProgressState.pub.progress_monitor = ReportProgress;
    record.ProgressState.Owner = &picture;
    record.Codec.Common.progress = &record.ProgressState.pub;
    UseDecoder(640, 480);
  }
  void TearDown() override { SetTickCountSource({}); }

  void UseDecoder(unsigned width, unsigned height) {
    record.Codec.Common.is_decompressor = TRUE;
    record.Codec.Decompressor.output_width = width;
    record.Codec.Decompressor.output_height = height;
  }

  // One library callback at the given time, with the given counters and output row.
  void Callback(std::uint32_t tick, long counter, long limit, int completed, int total,
                unsigned scanline = 0) {
    now = tick;
    jpeg_progress_mgr& counters = record.ProgressState.pub;
    counters.pass_counter = counter;
    counters.pass_limit = limit;
    counters.completed_passes = completed;
    counters.total_passes = total;
    if (record.Codec.Common.is_decompressor) record.Codec.Decompressor.output_scanline = scanline;
    ReportProgress(&record.Codec.Common);
  }

  std::uint32_t now = 0;
  int clockReads = 0;
  TJPEGImage picture;
  TJPEGCodecRecord record{};
  std::vector<Notification> seen;
};

TEST_F(ProgressTest, FirstCallStartsTheClockAndCallsWithinHalfASecondStayQuiet) {
  Callback(1000, 10, 100, 0, 1, 48);
  Callback(1100, 50, 100, 0, 1, 240);
  Callback(1499, 90, 100, 0, 1, 432);
  EXPECT_TRUE(seen.empty());
  Callback(1500, 95, 100, 0, 1, 456);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].percent, 95);
  EXPECT_EQ(seen[0].sender, &picture);
  EXPECT_EQ(seen[0].stage, psRunning);
  EXPECT_EQ(seen[0].message, "");
}

TEST_F(ProgressTest, PercentageCountsFinishedPassesAndIsTruncated) {
  Callback(1000, 0, 1, 0, 3);
  Callback(1600, 50, 200, 1, 3, 10);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].percent, 41);
}

TEST_F(ProgressTest, UnchangedOrZeroPercentIsNotSentButRestartsTheWait) {
  Callback(1000, 0, 100, 0, 1);
  Callback(2000, 0, 100, 0, 1, 0);  // 0 % is never sent
  Callback(3000, 30, 100, 0, 1, 144);
  Callback(4000, 30, 100, 0, 1, 150);  // same percentage
  Callback(4400, 31, 100, 0, 1, 150);  // within 500 ms of the call before
  EXPECT_EQ(seen.size(), 1u);
  Callback(4500, 31, 100, 0, 1, 150);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(ProgressTest, DecoderReportsCarryTheRowsSinceTheLastReport) {
  record.ProgressState.ReportedRow = 40;
  Callback(1000, 0, 480, 0, 1, 30);
  Callback(1600, 120, 480, 0, 1, 120);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].rect, (TRect{0, 40, 640, 120}));
  EXPECT_TRUE(seen[0].redraw);
  EXPECT_EQ(record.ProgressState.ReportedRow, 120u);

  Callback(2200, 130, 480, 0, 1, 122);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].rect, (TRect{0, 120, 640, 122}));
  EXPECT_FALSE(seen[1].redraw);
}

TEST_F(ProgressTest, ANewOutputPassReportsDownToTheBottom) {
  record.ProgressState.ReportedRow = 400;
  Callback(1000, 0, 10, 0, 4);
  Callback(1600, 1, 10, 2, 4, 10);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].rect, (TRect{0, 400, 640, 480}));
  EXPECT_TRUE(seen[0].redraw);
  EXPECT_EQ(record.ProgressState.ReportedRow, 10u);
}

TEST_F(ProgressTest, CompressorReportsCarryNoRectangle) {
  record.Codec.Common.is_decompressor = FALSE;
  Callback(1000, 0, 100, 0, 1);
  Callback(1600, 70, 100, 0, 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].rect, TRect{});
  EXPECT_FALSE(seen[0].redraw);
  EXPECT_EQ(seen[0].percent, 70);
}

TEST_F(ProgressTest, WithoutOwnerOrRecordNothingHappensNotEvenAClockRead) {
  record.ProgressState.Owner = nullptr;
  Callback(1000, 0, 100, 0, 1);
  Callback(2000, 50, 100, 0, 1);
  record.ProgressState.Owner = &picture;
  record.Codec.Common.progress = nullptr;
  Callback(3000, 60, 100, 0, 1);
  EXPECT_EQ(clockReads, 0);
  EXPECT_TRUE(seen.empty());
}

TEST_F(ProgressTest, HandlerExceptionLeavesThroughTheGuard) {
  picture.OnProgress = [](TObject*, TProgressStage, std::uint8_t, bool, const TRect&,
                          const AnsiString&) { Abort(); };
  InstallErrorManager(record.Codec.Common, record.ErrorManager);
  Callback(1000, 0, 100, 0, 1);
  now = 2000;
  record.ProgressState.pub.pass_counter = 50;
  EXPECT_THROW(JpegGuard(record.ErrorManager, [&] { ReportProgress(&record.Codec.Common); }),
               EAbort);
  EXPECT_EQ(record.ErrorManager.jump, nullptr);
}

}  // namespace
