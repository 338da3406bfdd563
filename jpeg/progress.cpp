// Progress notifications of a decode or compression run: libjpeg's pass counters become the
// picture's running notifications, throttled in time and carrying the rows finished since the
// last one.
#include <jerror.h>

#include <algorithm>

#include "framework/platform/clock.h"
#include "jpeg/codec.h"

namespace {

// Running notifications are at least this far apart.
constexpr std::int32_t kReportIntervalMs = 500;
// A band this tall or taller is worth repainting at once.
constexpr int kRedrawRows = 4;

// Work of scans, in units of a quarter to half a nanosecond of the library's time here. A scan
// costs 64 units for every block it covers (the decoder's own work per block, and on a large
// picture the memory traffic of its coefficients), and one unit per coefficient of its band in
// every block: a refinement scan goes through the whole band of each block even when its data is
// nothing but end-of-band runs, a few bytes for a whole picture. Arithmetic coding takes a
// decision for each of those coefficients, for almost no bytes either, and each costs about
// eight units.
constexpr std::uint64_t kScanBlockWork = 64;
constexpr std::uint64_t kArithmeticCoefficientWork = 8;
// A file's scans may cost this many sequential decodes of its picture in the same coding
// (cjpeg's progressive files cost 3.3 to 4.5), and any file 2^20 units (under a millisecond),
// so that the scan count alone bounds small pictures.
constexpr std::uint64_t kScanWorkInPlainDecodes = 5;
constexpr std::uint64_t kMinScanWorkLimit = std::uint64_t{1} << 20;

std::uint64_t CoefficientWork(j_decompress_ptr codec) {
  return codec->arith_code ? kArithmeticCoefficientWork : 1;
}

// The scan whose header was read last: its blocks (edge MCUs included) and its band. A
// sequential scan decodes whole blocks, whatever band its header names.
std::uint64_t ScanWork(j_decompress_ptr codec) {
  const std::uint64_t blocks = std::uint64_t{codec->MCUs_per_row} * codec->MCU_rows_in_scan *
                               static_cast<std::uint64_t>(codec->blocks_in_MCU);
  const bool banded = codec->progressive_mode && codec->Se >= codec->Ss;
  const auto band = static_cast<std::uint64_t>(banded ? codec->Se - codec->Ss + 1 : DCTSIZE2);
  return blocks * (kScanBlockWork + band * CoefficientWork(codec));
}

// What the scans of a sequential file of this picture cost: every block of the frame, as an
// interleaved scan covers it, with all 64 coefficients.
std::uint64_t ScanWorkLimit(j_decompress_ptr codec) {
  const auto mcuWidth = static_cast<std::uint64_t>(std::max(codec->max_h_samp_factor, 1)) * DCTSIZE;
  const auto mcuHeight =
      static_cast<std::uint64_t>(std::max(codec->max_v_samp_factor, 1)) * DCTSIZE;
  const std::uint64_t mcus = (codec->image_width + mcuWidth - 1) / mcuWidth *
                             ((codec->image_height + mcuHeight - 1) / mcuHeight);
  std::uint64_t blocksPerMcu = 0;
  for (int i = 0; i < codec->num_components; ++i) {
    blocksPerMcu += static_cast<std::uint64_t>(codec->comp_info[i].h_samp_factor) *
                    static_cast<std::uint64_t>(codec->comp_info[i].v_samp_factor);
  }
  const std::uint64_t plain =
      mcus * blocksPerMcu * (kScanBlockWork + DCTSIZE2 * CoefficientWork(codec));
  return std::max(kScanWorkInPlainDecodes * plain, kMinScanWorkLimit);
}

}  // namespace

void SendProgress(TJPEGImage& picture, TProgressStage stage, std::uint8_t percent, bool redraw,
                  const TRect& rect) {
  picture.Progress(&picture, stage, percent, redraw, rect, AnsiString());
}

void EnforceScanBounds(j_decompress_ptr codec) {
  const auto scans = static_cast<std::uint64_t>(codec->input_scan_number);
  if (scans > kMaxJpegScans) ERREXIT1(codec, JERR_BAD_SCAN_SCRIPT, codec->input_scan_number);
  auto* state = reinterpret_cast<TJPEGProgressState*>(codec->progress);
  if (state == nullptr || static_cast<std::uint64_t>(state->CountedScans) >= scans) return;
  if (state->ScanWorkLimit == 0) state->ScanWorkLimit = ScanWorkLimit(codec);
  // The scan whose header was read last; should two have begun since the last call, the other
  // is counted at the same cost.
  const std::uint64_t work = ScanWork(codec);
  while (static_cast<std::uint64_t>(state->CountedScans) < scans) {
    ++state->CountedScans;
    state->ScanWork += work;
  }
  if (state->ScanWork > state->ScanWorkLimit) {
    ERREXIT1(codec, JERR_BAD_SCAN_SCRIPT, codec->input_scan_number);
  }
}

void ReportDetachedProgress(j_common_ptr codec) {
  auto* state = reinterpret_cast<TJPEGProgressState*>(codec->progress);
  if (state == nullptr) return;
  if (state->Cancelled != nullptr && state->Cancelled->load(std::memory_order_relaxed)) {
    if (!CaptureFailure(codec, [] { throw EAbort("JPEG decode cancelled"); })) JumpToGuard(codec);
  }
  if (codec->is_decompressor) EnforceScanBounds(reinterpret_cast<j_decompress_ptr>(codec));
}

void ReportProgress(j_common_ptr codec) {
  auto* state = reinterpret_cast<TJPEGProgressState*>(codec->progress);
  if (state == nullptr || state->Owner == nullptr) return;
  // Before the throttle, so that no callback lets a scan too many pass.
  if (codec->is_decompressor) EnforceScanBounds(reinterpret_cast<j_decompress_ptr>(codec));

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
