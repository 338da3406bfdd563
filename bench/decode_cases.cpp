// Decoding: the picture unit (GetDecodedBitmap of a picture that has loaded the file) against
// libjpeg-turbo decoding the same bytes in memory with the same parameters into a bottom-up,
// 4-byte-padded buffer, one row per call, as the unit does for its bitmaps. Both write memory
// that the previous run wrote (the unit's bitmaps reuse the framework's kept block, the baseline
// its kept buffer), so that only the decoding is compared. The load is shown on a row of its own.
//
// The unit's pictures here are watched (an empty progress handler), so that they decode on the
// benchmark's thread, where the clock is; a picture nobody watches is decoded ahead on a worker
// thread as soon as it is loaded, which the launcher's rows measure.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/bench_cases.h"
#include "bench/case_table.h"
#include "bench/raw_codec.h"
#include "bench/sample_images.h"
#include "bench/side_by_side.h"
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
  // Also time the baseline fed through a source that copies 4096-byte blocks, as a stream
  // source does, to show what reading the picture's data in place saves.
  bool blockSourceToo = false;
};

// Samples are made on first use (by the check before timing), not when registering.
TimedSide RawSide(std::string name, const SampleFile& sample, const RawDecodeParams& raw) {
  return {std::move(name), [sample, raw] {
            const Bytes& file = Sample(sample);
            RawImage image = RawDecode(file.data(), file.size(), raw);
            benchmark::DoNotOptimize(image.pixels.get());
          }};
}

// Both sides start from the JPEG bytes in memory: the baseline from the file's bytes, the
// unit from a new picture that has loaded them (made off the clock, as the baseline's bytes
// are). Timed: GetDecodedBitmap and the picture's destruction, as the baseline's time includes
// freeing its buffer. What the load itself costs is a side of its own.
struct UnitState {
  SampleFile sample;
  TJPEGDefaults options;
  std::unique_ptr<TMemoryStream> file;
  std::unique_ptr<TJPEGImage> picture;

  void LoadNewPicture() {
    if (!file) file = StreamOf(Sample(sample));
    JpegDefaultOptions = options;
    file->SetPosition(0);
    picture = std::make_unique<TJPEGImage>();
    // Watched, so that it decodes where the clock is (see above).
    picture->OnProgress = [](TObject*, TProgressStage, std::uint8_t, bool, const TRect&,
                             const AnsiString&) {};
    picture->LoadFromStream(*file);
  }
};

TimedSide UnitSide(const std::shared_ptr<UnitState>& state) {
  return {"unit",
          [state] {
            benchmark::DoNotOptimize(GetDecodedBitmap(*state->picture));
            state->picture.reset();
          },
          [state] { state->LoadNewPicture(); }};
}

// LoadFromStream alone: a new picture copies the bytes from a memory stream and reads the
// header. Destroying it is not timed.
TimedSide LoadSide(const std::shared_ptr<UnitState>& state) {
  return {"load", [state] { state->LoadNewPicture(); }, {}, [state] { state->picture.reset(); }};
}

// One decode outside the clock: it tells whether the unit works yet and whether it gives the
// baseline's pixels (so the two sides really do the same work). Nobody watches this picture, so
// it is decoded ahead, on a worker thread.
std::string CheckSamePixels(const DecodeCase& c) {
  const Bytes& file = Sample(c.sample);
  JpegDefaultOptions = c.options;
  TJPEGImage picture;
  const auto stream = StreamOf(file);
  picture.LoadFromStream(*stream);
  return CompareWithBaseline(*GetDecodedBitmap(picture),
                             RawDecode(file.data(), file.size(), c.raw));
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
    SideBySide group;
    group.id = c.id;
    auto unit = std::make_shared<UnitState>();
    unit->sample = c.sample;
    unit->options = c.options;
    group.sides = {UnitSide(unit), LoadSide(unit)};
    group.check = [c] { return CheckSamePixels(c); };
    if (c.raw.bufferedImage) {
      // The unit shows every scan of this file, so it is judged against libjpeg doing the same
      // output passes; the plain decode shows what showing them costs.
      RawDecodeParams plain = c.raw;
      plain.bufferedImage = false;
      group.sides.push_back(RawSide("raw_every_scan", c.sample, c.raw));
      group.sides.push_back(RawSide("raw", c.sample, plain));
      group.rows = {
          {c.title, "unit", "raw_every_scan", TargetKind::Ratio, 1.03},
          {"  picture unit vs raw libjpeg plain decode", "unit", "raw", TargetKind::Info, 0},
      };
    } else {
      group.sides.push_back(RawSide("raw", c.sample, c.raw));
      group.rows = {{c.title, "unit", "raw", TargetKind::Ratio, 1.03}};
    }
    group.rows.push_back(
        {"  LoadFromStream before it (not in the above)", "load", "raw", TargetKind::Info, 0});
    if (c.blockSourceToo) {
      RawDecodeParams blocks = c.raw;
      blocks.sourceBlock = 4096;
      group.sides.push_back(RawSide("raw_4k_blocks", c.sample, blocks));
      group.rows.push_back({"  raw libjpeg fed 4096-byte blocks vs in place", "raw_4k_blocks",
                            "raw", TargetKind::Info, 0});
    }
    RegisterSideBySide(std::move(group));
  }
}

}  // namespace bench
