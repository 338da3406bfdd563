// Running progress notifications, driven by a fake clock and hand-filled library counters.
#include <gtest/gtest.h>

#include <vector>

#include "framework/platform/clock.h"
#include "jpeg/codec.h"
#include "tests/jpeg/test_support.h"

namespace {

struct Report {
  int percent;
  bool redraw;
  TRect rect;
  friend bool operator==(const Report&, const Report&) = default;
};

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTickCountSource([this] { return now; });
    picture.OnProgress = [this](TObject* sender, TProgressStage stage, std::uint8_t percent,
                                bool redraw, const TRect& rect, const AnsiString& message) {
      EXPECT_EQ(sender, &picture);
      EXPECT_EQ(stage, psRunning);
      EXPECT_EQ(message, "");
      reports.push_back({percent, redraw, rect});
    };
    record.ProgressState.Owner = &picture;
    record.Codec.Common.progress = &record.ProgressState.pub;
    record.Codec.Common.is_decompressor = TRUE;
    record.Codec.Decompressor.output_width = 640;
    record.Codec.Decompressor.output_height = 480;
    InstallErrorManager(record.Codec.Common, record.ErrorManager);
  }
  void TearDown() override { SetTickCountSource({}); }

  // One library callback at time tick with the given counters and output row.
  void Callback(std::uint32_t tick, long counter, long limit, int completed, int total,
                unsigned scanline = 0) {
    now = tick;
    record.ProgressState.pub.pass_counter = counter;
    record.ProgressState.pub.pass_limit = limit;
    record.ProgressState.pub.completed_passes = completed;
    record.ProgressState.pub.total_passes = total;
    record.Codec.Decompressor.output_scanline = scanline;
    ReportProgress(&record.Codec.Common);
  }

  std::uint32_t now = 0;
  TJPEGImage picture;
  TJPEGCodecRecord record{};
  std::vector<Report> reports;
};

TEST_F(ProgressTest, ThrottledToChangedPercentagesHalfASecondApart) {
  Callback(1000, 10, 100, 0, 1, 48);   // the first call only starts the clock
  Callback(1499, 90, 100, 0, 1, 100);  // too soon
  Callback(1600, 0, 100, 0, 1, 100);   // 0 % is never sent
  Callback(2200, 50, 200, 1, 3, 120);  // (50/200 + 1) * 100 / 3 = 41.6
  Callback(2800, 70, 300, 1, 3, 122);  // 41 again: not sent, but the wait starts again
  Callback(3200, 130, 200, 1, 3, 130);
  Callback(3300, 130, 200, 1, 3, 130);
  EXPECT_EQ(reports,
            (std::vector<Report>{{41, true, {0, 0, 640, 120}}, {55, true, {0, 120, 640, 130}}}));
}

TEST_F(ProgressTest, DecoderBandsRunFromTheLastReportedRowAndCompressorsHaveNone) {
  record.ProgressState.ReportedRow = 40;
  Callback(1000, 0, 480, 0, 1);
  Callback(1600, 120, 480, 0, 1, 120);
  Callback(2200, 122 + 10, 480, 0, 1, 122);  // two rows: no redraw
  Callback(2800, 2, 10, 2, 4, 10);           // a new output pass started from the top
  EXPECT_EQ(reports, (std::vector<Report>{{25, true, {0, 40, 640, 120}},
                                          {27, false, {0, 120, 640, 122}},
                                          {55, true, {0, 122, 640, 480}}}));
  EXPECT_EQ(record.ProgressState.ReportedRow, 10u);
  reports.clear();
  record.Codec.Common.is_decompressor = FALSE;
  Callback(3400, 7, 10, 2, 4, 300);
  EXPECT_EQ(reports, (std::vector<Report>{{67, false, {}}}));
}

TEST_F(ProgressTest, HandlerExceptionLeavesThroughTheGuard) {
  picture.OnProgress = [](TObject*, TProgressStage, std::uint8_t, bool, const TRect&,
                          const AnsiString&) { Abort(); };
  Callback(1000, 0, 100, 0, 1);
  EXPECT_THROW(JpegGuard(record.ErrorManager, [&] { Callback(2000, 50, 100, 0, 1); }), EAbort);
  EXPECT_EQ(record.ErrorManager.jump, nullptr);
}

}  // namespace
