// Hostile files: huge announced sizes and endless scan sequences are refused before they cost
// memory or time, while the header still reads.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jerror.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <vector>

#include "jpeg/codec.h"
#include "tests/jpeg/test_support.h"
#include "tests/support/jpeg_files.h"

extern char** environ;

namespace {

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

TEST(WorkBounds, OutputAndInputAreasAreCappedButTheSizeStillReads) {
  const Bytes tall = WithFrameSize(MakeJpeg(16, 16), 8192, 8193);
  TJPEGDefaults options;
  ExpectDecodeFails(tall, options, JERR_IMAGE_TOO_BIG);
  {
    ScopedDefaults scoped(options);
    TJPEGImage picture;
    Load(picture, tall);
    EXPECT_EQ(picture.GetWidth(), 8192);
    EXPECT_EQ(picture.GetHeight(), 8193);
  }
  // Half the scale fits: 4096 x 4097 pixels.
  options.ShrinkFactor = sfHalf;
  {
    ScopedDefaults scoped(options);
    TJPEGImage picture;
    Load(picture, tall);
    TBitmap* bitmap = GetDecodedBitmap(picture);
    EXPECT_EQ(bitmap->GetWidth(), 4096);
    EXPECT_EQ(bitmap->GetHeight(), 4097);
  }
  // The library works through the full-size blocks whatever the scale.
  options.ShrinkFactor = sfEighth;
  ExpectDecodeFails(WithFrameSize(MakeJpeg(16, 16), 16385, 16384), options, JERR_IMAGE_TOO_BIG);
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

TEST(WorkBounds, LargeProgressiveShownWhileLoadingEndsAsTheWholeFileDecodes) {
  // 4096 x 2048 is 2^23 pixels: only some of cjpeg's ten scans get a pass of their own; the
  // rest must still be read before the final pass.
  const Bytes jpeg = MakeJpeg(4096, 2048, "-progressive");
  ASSERT_GT(CountScans(jpeg), 4);
  Image expected, shown;
  for (const bool show : {false, true}) {
    TJPEGDefaults options;
    options.ShowWhileLoading = show;
    ScopedDefaults scoped(options);
    TJPEGImage picture;
    Load(picture, jpeg);
    (show ? shown : expected) = Resolve(*GetDecodedBitmap(picture));
  }
  EXPECT_EQ(shown.width, 4096);
  EXPECT_TRUE(shown.rgb == expected.rgb);
}

}  // namespace
