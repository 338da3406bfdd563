// talvesk-jpeg run as the built program: decodes equal to djpeg's, compressions equal to
// cjpeg's, and the exit status of every kind of failure (its header report is checked with the
// loading of real files).
#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>

#include "tests/jpeg/test_support.h"

namespace {

TEST(Tool, DecodeSavesWhatDjpegDecodesAndReportsProgress) {
  TempDir dir;
  const Bytes jpeg = MakeJpeg(45, 33, "-progressive");
  WriteFileBytes(dir.Path("in.jpg"), jpeg);
  const std::string files = "decode " + dir.Quoted("in.jpg") + " " + dir.Quoted("out.bmp") + " ";
  const std::pair<const char*, TJPEGDefaults> cases[] = {
      {"", {}},
      {"--depth 8 --show-while-loading", {.BitmapDepth = bd8Bit}},
      {"--gray --shrink 4", {.GrayOutput = true, .ShrinkFactor = sfQuarter}},
      {"--fast --depth 8 --no-smoothing", {.DecodeSpeed = dsBestSpeed, .BitmapDepth = bd8Bit}}};
  for (const auto& [arguments, options] : cases) {
    SCOPED_TRACE(arguments);
    ASSERT_EQ(RunCapturing(dir, kTool + files + arguments).status, 0);
    TBitmap saved;
    saved.LoadFromFile(dir.Path("out.bmp").string());
    ExpectSameColours(Djpeg(jpeg, DjpegOptions(options)), Resolve(saved));
  }
  const std::string progress = RunCapturing(dir, kTool + files + "--progress").err;
  EXPECT_EQ(progress.rfind("starting 0 0 0 0 0 0\n", 0), 0u) << progress;
  EXPECT_TRUE(progress.ends_with("\nending 100 1 0 0 0 0\n")) << progress;
}

TEST(Tool, EncodeWritesWhatCjpegWrites) {
  TempDir dir;
  auto bitmap = PatternBitmap(61, 47);
  bitmap->SaveToFile(dir.Path("in.bmp").string());
  const Bytes rgb = Resolve(*bitmap).rgb;
  const std::string files = "encode " + dir.Quoted("in.bmp") + " " + dir.Quoted("out.jpg") + " ";
  for (const auto& [arguments, cjpegOptions] :
       {std::pair{"", "-quality 90"},
        {"--quality 75 --gray --progressive", "-grayscale -progressive"}}) {
    SCOPED_TRACE(arguments);
    ASSERT_EQ(RunCapturing(dir, kTool + files + arguments).status, 0);
    EXPECT_EQ(ReadFileBytes(dir.Path("out.jpg")),
              Cjpeg(61, 47, rgb, std::string(cjpegOptions) + " -dct float -baseline", false));
  }
}

TEST(Tool, UsageErrorsAndFailuresHaveTheirExitStatusAndOneMessage) {
  TempDir dir;
  WriteFileBytes(dir.Path("bad.jpg"), Bytes{'n', 'o', 'p', 'e'});
  const std::string bad = dir.Quoted("bad.jpg"), out = " " + dir.Quoted("out") + " ";
  for (const std::string usage :
       {"", "frobnicate x.jpg", "info", "info --bogus x.jpg", "info a b", "decode a.jpg",
        "decode a b --depth 16", "decode a b --shrink 3", "decode a b --bogus",
        "decode a b --depth", "encode a.bmp", "encode a b c", "encode a b --quality 0",
        "encode a b --quality 101", "encode a b --quality x", "encode a b --speed 3"}) {
    const ShellRun run = RunCapturing(dir, kTool + usage);
    EXPECT_EQ(run.status, 2) << usage;
    EXPECT_NE(run.err.find("usage"), std::string::npos) << usage << ": " << run.err;
  }
  const std::string noSoi = JpegErrorText(JERR_NO_SOI) + "\n";
  // Saves that fail report it, and leave the file that was there.
  PatternBitmap(4, 4)->SaveToFile(dir.Path("in.bmp").string());
  PatternBitmap(65501, 1)->SaveToFile(dir.Path("wide.bmp").string());
  const Bytes kept = MakeJpeg(5, 5);
  WriteFileBytes(dir.Path("keep.jpg"), kept);
  for (const auto& [failing, message] :
       {std::pair{"info " + bad, noSoi},
        {"encode " + dir.Quoted("in.bmp") + " /dev/full", ""},
        {"encode " + dir.Quoted("wide.bmp") + " " + dir.Quoted("keep.jpg"),
         JpegErrorText(JERR_IMAGE_TOO_BIG) + "\n"},
        {"decode " + bad + out, noSoi},
        {"info " + dir.Quoted("missing.jpg"), ""},
        {"encode " + bad + out, ""},
        {"encode " + dir.Quoted("missing.bmp") + out, ""}}) {
    const ShellRun run = RunCapturing(dir, kTool + failing);
    EXPECT_EQ(run.status, 1) << failing;
    EXPECT_EQ(run.out, "") << failing;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << failing << ": " << run.err;
    if (!message.empty()) {
      EXPECT_EQ(run.err, message);
    }
  }
  EXPECT_EQ(ReadFileBytes(dir.Path("keep.jpg")), kept);
}

}  // namespace
