// Hostile files: huge announced sizes and endless scan sequences are refused before they cost
// memory or time, while the header still reads.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jerror.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "framework/graphics/palette.h"
#include "framework/platform/clock.h"
#include "jpeg/codec.h"
#include "tests/jpeg/test_support.h"
#include "tests/support/jpeg_files.h"

extern char** environ;

namespace {

// Comment segments of `bytes` bytes in all inserted after the start of image.
Bytes Padded(const Bytes& jpeg, std::size_t bytes) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  while (bytes > 0) {
    const std::size_t length = std::min<std::size_t>(bytes + 2, 65535);
    out.insert(out.end(), {0xFF, 0xFE, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length)});
    out.insert(out.end(), length - 2, 0);
    bytes -= std::min(bytes, length - 2);
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// Start-of-scan markers; entropy-coded data stuffs every 0xFF, so none hides in it.
int CountScans(const Bytes& jpeg) {
  int scans = 0;
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) scans += jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA;
  return scans;
}

// The file's last scan repeated until the file has `total` scans.
Bytes WithScans(const Bytes& jpeg, int total) {
  const Bytes sos{0xFF, 0xDA};
  const auto last = std::find_end(jpeg.begin(), jpeg.end(), sos.begin(), sos.end());
  const auto end = jpeg.end() - 2;  // end of image
  Bytes out(jpeg.begin(), end);
  for (int n = CountScans(jpeg); n < total; ++n) out.insert(out.end(), last, end);
  out.insert(out.end(), end, jpeg.end());
  return out;
}

struct MeasuredRun {
  int status = -1;
  long peakKiB = 0;
};

// Runs talvesk-jpeg with stdout and stderr into files of dir and measures that child's peak RSS.
MeasuredRun RunToolMeasured(const TempDir& dir, std::vector<std::string> arguments) {
  const std::string tool = TALVESK_BINARY_DIR "/tools/talvesk-jpeg";
  arguments.insert(arguments.begin(), tool);
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out = dir.Path("out.txt").string(), err = dir.Path("err.txt").string();
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  MeasuredRun run;
  const int spawned = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.peakKiB = usage.ru_maxrss;
  return run;
}

std::string TextOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

void ExpectDecodeFails(const Bytes& jpeg, const TJPEGDefaults& options, int code) {
  ScopedDefaults scoped(options);
  TJPEGImage picture;
  Load(picture, jpeg);
  ExpectMessage<EJPEG>([&] { GetDecodedBitmap(picture); }, JpegErrorText(code));
}

TEST(WorkBounds, HugeHeaderFailsInTheToolBeforeAnyWholeImageBuffer) {
  TempDir dir;
  const Bytes baseline = WithFrameSize(MakeJpeg(16, 16), 65500, 65500);
  const Bytes progressive = WithFrameSize(MakeJpeg(16, 16, "-progressive"), 65500, 65500);
  WriteFileBytes(dir.Path("baseline.jpg"), baseline);
  WriteFileBytes(dir.Path("progressive.jpg"), progressive);
  const std::string bmp = dir.Path("out.bmp").string();
  const std::vector<std::vector<std::string>> variants = {
      {}, {"--depth", "8"}, {"--depth", "8", "--show-while-loading"}, {"--show-while-loading"}};
  for (const char* file : {"baseline.jpg", "progressive.jpg"}) {
    for (const auto& variant : variants) {
      std::vector<std::string> arguments = {"decode", dir.Path(file).string(), bmp};
      arguments.insert(arguments.end(), variant.begin(), variant.end());
      const MeasuredRun run = RunToolMeasured(dir, arguments);
      SCOPED_TRACE(std::string(file) + " " + (variant.empty() ? "" : variant.back()));
      EXPECT_NE(run.status, 0);
      EXPECT_NE(run.status, -1);  // exited, not killed
      EXPECT_LT(run.peakKiB, 100 * 1024);
      EXPECT_EQ(TextOf(ReadFileBytes(dir.Path("err.txt"))),
                JpegErrorText(JERR_IMAGE_TOO_BIG) + "\n");
      EXPECT_FALSE(std::filesystem::exists(bmp));
    }
  }
}

// Large pictures decode when the file is large enough to hold their data (a byte per 128
// pixels) and the bitmap fits in 1 GiB; the size reads either way. Comment segments pad the
// files so that they meet the first rule.
TEST(WorkBounds, LargePicturesDecodeWithinTheFileAndMemoryBounds) {
  const struct {
    const char* name;
    bool gray, progressive;
    int width, height;
    TJPEGScale scale;
    bool padded;
    int failure;  // 0: decodes
  } cases[] = {
      {"9000x8000 grayscale scan", true, false, 9000, 8000, sfFull, true, 0},
      {"1/8 of a 20000x14000 panorama", false, false, 20000, 14000, sfEighth, true, 0},
      {"9000x8000 held by too few bytes", true, false, 9000, 8000, sfFull, false,
       JERR_IMAGE_TOO_BIG},
      {"20000x18000 bitmap above 1 GiB", false, false, 20000, 18000, sfFull, true,
       JERR_IMAGE_TOO_BIG},
      {"24000x16000 progressive, above the library's 1 GiB", false, true, 24000, 16000, sfEighth,
       true, JERR_NO_BACKING_STORE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes jpeg = WithFrameSize(MakeJpeg(16, 16, c.progressive ? "-progressive" : "", c.gray),
                               c.width, c.height);
    if (c.padded)
      jpeg = Padded(jpeg,
                    static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height) / 128);
    TJPEGDefaults options;
    options.ShrinkFactor = c.scale;
    if (c.failure != 0) ExpectDecodeFails(jpeg, options, c.failure);
    ScopedDefaults scoped(options);
    TJPEGImage picture;
    Load(picture, jpeg);
    const int shrink = 1 << c.scale;
    EXPECT_EQ(picture.GetWidth(), (c.width + shrink - 1) / shrink);
    if (c.failure != 0) continue;
    TBitmap& bitmap = *GetDecodedBitmap(picture);
    EXPECT_EQ(bitmap.GetHeight(), (c.height + shrink - 1) / shrink);
    EXPECT_EQ(bitmap.GetPixelFormat(), c.gray ? pf8bit : pf24bit);
  }
}

TEST(WorkBounds, AFileWithMoreThan500ScansFailsWhateverTheDisplayMode) {
  const Bytes progressive = MakeJpeg(24, 20, "-progressive");
  ASSERT_LT(CountScans(progressive), 500);
  const Bytes at = WithScans(progressive, 500), over = WithScans(progressive, 501);
  ASSERT_EQ(CountScans(over), 501);
  for (const bool show : {false, true}) {
    SCOPED_TRACE(show ? "shown while loading" : "shown at the end");
    TJPEGDefaults options;
    options.ShowWhileLoading = show;
    ExpectDecodeFails(over, options, JERR_BAD_SCAN_SCRIPT);
    ScopedDefaults scoped(options);
    TJPEGImage picture;
    Load(picture, at);
    EXPECT_EQ(GetDecodedBitmap(picture)->GetWidth(), 24);
    // Reading the header and measuring never meet the bound.
    TJPEGImage tooMany;
    Load(tooMany, over);
    EXPECT_EQ(tooMany.GetHeight(), 20);
  }
}

TEST(WorkBounds, LargePicturesMayHaveFewerScans) {
  // 2^34 scan pixels: an 8192 x 8192 picture may begin 256 scans, not 257.
  for (const int scans : {256, 257}) {
    TJPEGCodecRecord record;
    ClearCodecRecord(record);
    InstallErrorManager(record.Codec.Common, record.ErrorManager);
    TJPEGImage owner;
    record.ProgressState.Owner = &owner;
    record.Codec.Common.progress = &record.ProgressState.pub;
    record.Codec.Common.is_decompressor = TRUE;
    record.Codec.Decompressor.image_width = 8192;
    record.Codec.Decompressor.image_height = 8192;
    record.Codec.Decompressor.input_scan_number = scans;
    const auto call = [&] {
      JpegGuard(record.ErrorManager, [&] { ReportProgress(&record.Codec.Common); });
    };
    if (scans == 256) {
      EXPECT_NO_THROW(call());
    } else {
      ExpectMessage<EJPEG>(call, JpegErrorText(JERR_BAD_SCAN_SCRIPT));
    }
  }
}

// Running notifications whose band starts at row 0 and is not empty: one per output pass (the
// last scan's is the final one), when every library callback may report.
int CountOutputPasses(TJPEGImage& picture) {
  int passes = 0;
  SetTickCountSource([tick = std::uint32_t{1}]() mutable { return tick += 600; });
  picture.OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t, bool, const TRect& rect,
                           const AnsiString&) {
    passes += stage == psRunning && rect.Top == 0 && rect.Bottom > 0;
  };
  GetDecodedBitmap(picture);
  SetTickCountSource({});
  return passes;
}

// cjpeg's file of a flat gray picture, written without an RGB copy of it.
Bytes FlatGrayJpeg(int width, int height, const std::string& cjpegOptions) {
  TempDir dir;
  {
    std::ofstream pgm(dir.Path("in.pgm"), std::ios::binary);
    pgm << "P5\n" << width << ' ' << height << "\n255\n";
    const std::string row(static_cast<std::size_t>(width), '\x80');
    for (int y = 0; y < height; ++y) pgm << row;
  }
  EXPECT_EQ(RunShell("cjpeg " + cjpegOptions + " -outfile " + dir.Quoted("out.jpg") + " " +
                     dir.Quoted("in.pgm")),
            0);
  return ReadFileBytes(dir.Path("out.jpg"));
}

// Same format, palette and pixels (compared row by row, without resolving colours).
void ExpectSamePixels(TBitmap& expected, TBitmap& actual) {
  ASSERT_EQ(actual.GetPixelFormat(), expected.GetPixelFormat());
  ASSERT_EQ(actual.GetHeight(), expected.GetHeight());
  ASSERT_EQ(actual.RowBytes(), expected.RowBytes());
  PALETTEENTRY want[256], got[256];
  const unsigned count = GetPaletteEntries(expected.GetPalette(), 0, 256, want);
  ASSERT_EQ(GetPaletteEntries(actual.GetPalette(), 0, 256, got), count);
  EXPECT_EQ(std::memcmp(want, got, count * sizeof want[0]), 0) << "palettes differ";
  for (int row = 0; row < expected.GetHeight(); ++row) {
    ASSERT_EQ(std::memcmp(expected.ScanLine(row), actual.ScanLine(row),
                          static_cast<std::size_t>(expected.RowBytes())),
              0)
        << "row " << row;
  }
}

// Every scan of an ordinary progressive file gets an output pass of its own, whatever its size,
// and the final pass shows what a plain decode shows, palette included; a file of many scans
// shows 16 passes before the final one.
TEST(WorkBounds, PassByPassShowsEveryScanOfOrdinaryFiles) {
  const struct {
    const char* name;
    Bytes jpeg;
    TJPEGDefaults options;
    int passes;  // shown and final
  } cases[] = {
      {"3000x3000 colour", MakeJpeg(3000, 3000, "-progressive"), {.ShowWhileLoading = true}, 10},
      {"6000x6000 grayscale, fast",
       FlatGrayJpeg(6000, 6000, "-progressive"),
       {.DecodeSpeed = dsBestSpeed, .ShowWhileLoading = true},
       6},
      {"40 scans", WithScans(MakeJpeg(48, 40, "-progressive"), 40), {.ShowWhileLoading = true}, 17},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TJPEGDefaults plainOptions = c.options;
    plainOptions.ShowWhileLoading = false;
    const auto loaded = [&](const TJPEGDefaults& options) {
      ScopedDefaults scoped(options);
      auto picture = std::make_unique<TJPEGImage>();
      Load(*picture, c.jpeg);
      return picture;
    };
    const auto plain = loaded(plainOptions), shown = loaded(c.options);
    EXPECT_EQ(CountOutputPasses(*shown), c.passes);
    ExpectSamePixels(*GetDecodedBitmap(*plain), *GetDecodedBitmap(*shown));
  }
}

}  // namespace
