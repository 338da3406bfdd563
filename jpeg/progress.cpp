// Progress notifications of a decode or compression run: libjpeg's pass counters become the
// picture's running notifications, throttled in time and carrying the rows finished since the
// last one.
#include <jerror.h>

#include "framework/platform/clock.h"
#include "jpeg/codec.h"

namespace {

// Running notifications are at least this far apart.
constexpr std::int32_t kReportIntervalMs = 500;
// A band this tall or taller is worth repainting at once.
constexpr int kRedrawRows = 4;

}  // namespace

void SendProgress(TJPEGImage& picture, TProgressStage stage, std::uint8_t percent, bool redraw,
                  const TRect& rect) {
  picture.Progress(&picture, stage, percent, redraw, rect, AnsiString());
}

void EnforceScanLimit(j_decompress_ptr codec) {
  // Every scan makes the library visit the whole image again, so a file that repeats tiny scans
  // would keep the decoder busy for as long as its bytes last.
  const auto scans = static_cast<std::uint64_t>(codec->input_scan_number);
  const std::uint64_t area = std::uint64_t{codec->image_width} * codec->image_height;
  if (scans > kMaxJpegScans || scans * area > kMaxJpegScanPixels) {
    ERREXIT1(codec, JERR_BAD_SCAN_SCRIPT, codec->input_scan_number);
  }
}

void ReportProgress(j_common_ptr codec) {
  auto* state = reinterpret_cast<TJPEGProgressState*>(codec->progress);
  if (state == nullptr || state->Owner == nullptr) return;
  // Before the throttle, so that no callback lets a scan too many pass.
  if (codec->is_decompressor) EnforceScanLimit(reinterpret_cast<j_decompress_ptr>(codec));

  const std::uint32_t now = GetTickCount();
  if (static_cast<std::int32_t>(now - state->ReportedTick) < kReportIntervalMs) return;
  const std::uint32_t previousTick = state->ReportedTick;
  state->ReportedTick = now;
  // The first call of a run only starts the clock.
  if (previousTick == 0) return;

  TRect band{};
  if (codec->is_decompressor) {
    const auto* decompressor = reinterpret_cast<j_decompress_ptr>(codec);
    band.Top = static_cast<int>(state->ReportedRow);
    band.Right = static_cast<int>(decompressor->output_width);
    band.Bottom = static_cast<int>(decompressor->output_scanline);
    // A new output pass has started again from the top.
    if (decompressor->output_scanline < state->ReportedRow) {
      band.Bottom = static_cast<int>(decompressor->output_height);
    }
  }

  const jpeg_progress_mgr& counters = state->pub;
  if (counters.pass_limit == 0 || counters.total_passes == 0) return;
  const double done =
      static_cast<double>(counters.pass_counter) / static_cast<double>(counters.pass_limit) +
      static_cast<double>(counters.completed_passes);
  const auto percent = static_cast<std::int32_t>(done * 100.0 / counters.total_passes);
  if (percent == state->ReportedPercent) return;

  state->ReportedPercent = percent;
  if (codec->is_decompressor) {
    state->ReportedRow = reinterpret_cast<j_decompress_ptr>(codec)->output_scanline;
  }
  const auto shown = static_cast<std::uint8_t>(percent < 0 ? 0 : (percent > 100 ? 100 : percent));
  const bool redraw = band.Height() >= kRedrawRows;
  TJPEGImage& owner = *state->Owner;
  // A handler's exception (EAbort, say) must not unwind through the library's frames.
  const auto send = [&] {
    if (state->BeforeRunning != nullptr) state->BeforeRunning(state->BeforeRunningContext);
    SendProgress(owner, psRunning, shown, redraw, band);
  };
  if (!CaptureFailure(codec, send)) {
    JumpToGuard(codec);
  }
}
