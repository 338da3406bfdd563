// Loads and decodes a JPEG with options taken from the first two input bytes; the progress
// handler may cancel at a chosen notification, or (second byte's top bit) change the picture
// there: load the input again, assign a bitmap or a decoded copy, give it a new palette, or
// change the bitmap being decoded (reshape it, which is refused, or write its pixels).
#include <optional>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/palette.h"
#include "fuzz/fuzz_support.h"
#include "jpeg/jpeg.h"

namespace {
// Large pictures cost seconds each and find nothing new (their bounds have tests of their own);
// the fuzzer explores many more files when they are skipped.
constexpr std::int64_t kMaxFuzzedPixels = std::int64_t{1} << 20;

// What a handler may try on the bitmap being decoded: every call but the pixel writes is refused.
void ChangeBitmap(TBitmap& bitmap, int kind, const std::uint8_t* data, std::size_t size) {
  const auto attempt = [](auto&& call) { ExpectOnlyReportedFailures(call); };
  if (kind == 4) {
    attempt([&] { bitmap.SetSize(3, 2); });
    attempt([&] { bitmap.SetWidth(bitmap.GetWidth() + 1); });
    attempt([&] { bitmap.SetHeight(1); });
    attempt([&] { bitmap.SetSizeUncleared(7, 7); });
    attempt([&] { bitmap.SetHandle(0); });
  } else if (kind == 5) {
    attempt([&] { bitmap.SetPixelFormat(pf32bit); });
    attempt([&] { bitmap.SetPixelFormat(pf1bit); });
    attempt([&] { bitmap.SetTopDown(!bitmap.TopDown()); });
  } else if (kind == 6) {
    TBitmap other;
    other.SetSize(5, 3);
    attempt([&] { bitmap.Assign(&other); });
    attempt([&] { bitmap.LoadFromStream(*StreamOf(data, size)); });
    attempt([&] { bitmap.ReadData(*StreamOf(data, size)); });
  } else {
    for (int row = 0; row < bitmap.GetHeight(); ++row) bitmap.ScanLine(row)[0] ^= 0xFF;
    bitmap.SetPalette(CreateHalftonePalette(0));
  }
}

// What a progress handler may do to the picture being decoded.
void ChangePicture(TJPEGImage& picture, int kind, const std::uint8_t* data, std::size_t size) {
  if (kind == 0) {
    picture.LoadFromStream(*StreamOf(data, size));
  } else if (kind == 1) {
    TBitmap bitmap;
    bitmap.SetSize(3, 2);
    picture.Assign(&bitmap);
  } else if (kind == 2) {
    TJPEGImage copy;
    copy.Assign(&picture);
    GetDecodedBitmap(copy);
    picture.Assign(&copy);
  } else if (kind == 3) {
    picture.SetPalette(CreateHalftonePalette(0));
  } else {
    ChangeBitmap(*GetDecodedBitmap(picture), kind, data, size);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t options = data[0];
  const bool changePicture = (data[1] & 0x80) != 0;
  const int changeKind = data[1] & 7;
  const int actAt = changePicture ? ((data[1] >> 3) & 0xF) + 1 : data[1];
  data += 2;
  size -= 2;

  const TJPEGDefaults saved = JpegDefaultOptions;
  JpegDefaultOptions.BitmapDepth = (options & 1) ? bd8Bit : bd24Bit;
  JpegDefaultOptions.GrayOutput = (options & 2) != 0;
  JpegDefaultOptions.ShrinkFactor = static_cast<TJPEGScale>((options >> 2) & 3);
  JpegDefaultOptions.DecodeSpeed = (options & 16) ? dsBestSpeed : dsBestQuality;
  JpegDefaultOptions.BlockSmoothing = (options & 32) != 0;
  JpegDefaultOptions.ShowWhileLoading = (options & 64) != 0;
  const bool holdPalette = (options & 128) != 0;
  std::optional<FastClock> clock;
  if (changePicture) clock.emplace();
  TJPEGImage picture;
  JpegDefaultOptions = saved;  // pictures a handler makes start from the usual defaults

  int notifications = 0;
  picture.OnProgress = [&](TObject*, TProgressStage, std::uint8_t, bool, const TRect&,
                           const AnsiString&) {
    if (actAt == 0 || ++notifications != actAt) return;
    if (!changePicture) Abort();
    ChangePicture(picture, changeKind, data, size);
  };
  bool large = false;
  ExpectOnlyReportedFailures([&] {
    picture.LoadFromStream(*StreamOf(data, size));
    if (holdPalette) picture.SetPalette(CreateHalftonePalette(0));
    large = std::int64_t{picture.GetWidth()} * picture.GetHeight() > kMaxFuzzedPixels;
    if (!large) GetDecodedBitmap(picture);
  });
  // A second request returns the picture's own bitmap, whatever a handler did meanwhile, without
  // failing again.
  if (!large) {
    ExpectOnlyReportedFailures([&] {
      if (GetDecodedBitmap(picture) != picture.DecodedBitmapOrNull()) __builtin_trap();
    });
  }
  return 0;
}
