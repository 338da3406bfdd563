// Decoding: the picture unit (a new picture, LoadFromStream, GetDecodedBitmap — load included
// in the time) against libjpeg-turbo decoding the same bytes with the same parameters into a
// bottom-up, 4-byte-padded buffer, one row per call, as the unit does for its bitmaps.
#include <benchmark/benchmark.h>

#include <exception>
#include <string>

#include "bench/bench_cases.h"
#include "bench/case_table.h"
#include "bench/raw_codec.h"
#include "bench/sample_images.h"
#include "bench/unit_support.h"
#include "jpeg/jpeg.h"

namespace bench {
namespace {

struct DecodeCase {
  std::string id;
  std::string title;
  SampleFile sample;
  TJPEGDefaults options;
  RawDecodeParams raw;
  // Also time the baseline fed through a 4096-byte-block source, as the unit's stream source
  // feeds the library, to show what the block size alone costs.
  bool blockSourceToo = false;
};

void BM_RawDecode(benchmark::State& state, const SampleFile& sample, const RawDecodeParams& raw) {
  const Bytes& file = Sample(sample);
  try {
    RawDecode(file.data(), file.size(), raw);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  for (auto _ : state) {
    RawImage image = RawDecode(file.data(), file.size(), raw);
    benchmark::DoNotOptimize(image.pixels.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(file.size()));
}

void BM_UnitDecode(benchmark::State& state, const DecodeCase& c) {
  const Bytes& file = Sample(c.sample);
  const auto stream = StreamOf(file);
  JpegDefaultOptions = c.options;
  // One decode outside the clock: it tells whether the unit works yet and whether it gives
  // the baseline's pixels (so the two sides really do the same work).
  try {
    TJPEGImage picture;
    picture.LoadFromStream(*stream);
    const RawImage reference = RawDecode(file.data(), file.size(), c.raw);
    state.SetLabel(CompareWithBaseline(*GetDecodedBitmap(picture), reference));
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  for (auto _ : state) {
    stream->SetPosition(0);
    TJPEGImage picture;
    picture.LoadFromStream(*stream);
    benchmark::DoNotOptimize(GetDecodedBitmap(picture));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(file.size()));
}

std::vector<DecodeCase> DecodeCases() {
  const TJPEGDefaults plain{};  // 24-bit, best quality, full size, block smoothing
  TJPEGDefaults eightBit = plain;
  eightBit.BitmapDepth = bd8Bit;
  TJPEGDefaults eighth = plain;
  eighth.ShrinkFactor = sfEighth;
  TJPEGDefaults passByPass = plain;
  passByPass.ShowWhileLoading = true;
  RawDecodeParams rawEighth = Decode24();
  rawEighth.scaleDenom = 8;
  RawDecodeParams rawPassByPass = Decode24();
  rawPassByPass.bufferedImage = true;

  const SampleFile hd{SampleKind::Baseline, 1920, 1080};
  const SampleFile big{SampleKind::Baseline, 4000, 3000};
  const SampleFile bigProgressive{SampleKind::Progressive, 4000, 3000};
  const SampleFile hdGray{SampleKind::Grayscale, 1920, 1080};
  return {
      {"decode24_1920x1080", "decode 24-bit 1920x1080 baseline", hd, plain, Decode24(), true},
      {"decode24_4000x3000", "decode 24-bit 4000x3000 baseline", big, plain, Decode24(), true},
      {"decode24_4000x3000_progressive", "decode 24-bit 4000x3000 progressive", bigProgressive,
       plain, Decode24()},
      {"decode8_1920x1080", "decode 8-bit (two-pass) 1920x1080", hd, eightBit, Decode8()},
      {"decode_gray_1920x1080", "decode grayscale 1920x1080", hdGray, plain, Decode24()},
      {"decode_eighth_4000x3000", "decode 1/8 scale 4000x3000", big, eighth, rawEighth},
      {"show_while_loading_4000x3000", "pass-by-pass 4000x3000 progressive", bigProgressive,
       passByPass, rawPassByPass},
  };
}

}  // namespace

void RegisterDecodeCases() {
  for (const DecodeCase& c : DecodeCases()) {
    benchmark::RegisterBenchmark((c.id + "/unit").c_str(), [c](benchmark::State& state) {
      BM_UnitDecode(state, c);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((c.id + "/raw").c_str(), [c](benchmark::State& state) {
      BM_RawDecode(state, c.sample, c.raw);
    })->Unit(benchmark::kMillisecond);
    if (c.raw.bufferedImage) {
      // Judged against the plain decode of the same file; the raw pass-by-pass decode shows
      // what libjpeg itself needs for the same output passes.
      AddCase(c.title, c.id + "/unit", "decode24_4000x3000_progressive/raw", TargetKind::Ratio,
              1.6);
      AddCase("  raw libjpeg showing every scan vs plain decode", c.id + "/raw",
              "decode24_4000x3000_progressive/raw", TargetKind::Info, 0);
      AddCase("  picture unit vs raw libjpeg showing every scan", c.id + "/unit", c.id + "/raw",
              TargetKind::Info, 0);
    } else {
      AddCase(c.title, c.id + "/unit", c.id + "/raw", TargetKind::Ratio, 1.03);
    }
    if (c.blockSourceToo) {
      RawDecodeParams blocks = c.raw;
      blocks.sourceBlock = 4096;
      benchmark::RegisterBenchmark((c.id + "/raw_4k_blocks").c_str(), [c, blocks](
                                                                          benchmark::State& state) {
        BM_RawDecode(state, c.sample, blocks);
      })->Unit(benchmark::kMillisecond);
      AddCase("  raw libjpeg fed 4096-byte blocks vs in place", c.id + "/raw_4k_blocks",
              c.id + "/raw", TargetKind::Info, 0);
    }
  }
}

}  // namespace bench
