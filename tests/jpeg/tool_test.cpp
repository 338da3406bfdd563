// talvesk-jpeg run as the built program: decodes equal to djpeg's and compressions to cjpeg's,
// help, version and manual page, exit status and message of each failure, and the progress bar.
#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>
#include <regex>
#include <tuple>

#include "tests/jpeg/test_support.h"

namespace {

// Runs the command with a pseudo-terminal as stdin, stdout and stderr, newlines untranslated;
// returns what the terminal received, and the exit status in *status.
std::string RunOnTerminal(const std::string& command, int* status) {
  std::string received;
  *status =
      RunShell("script -qec \"stty -onlcr; " + command + "\" /dev/null </dev/null", &received);
  return received;
}

// "-" is standard input or output; cat makes standard input a pipe, which cannot seek.
TEST(Tool, DecodesAsDjpegAndEncodesAsCjpegThroughFilesOrStandardStreams) {
  TempDir dir;
  const Bytes jpeg = MakeJpeg(45, 33, "-progressive");
  WriteFileBytes(dir.Path("in.jpg"), jpeg);
  const std::string in = dir.Quoted("in.jpg"), out = dir.Quoted("out.bmp");
  const std::pair<std::string, TJPEGDefaults> decodes[] = {
      {kTool + "decode " + in + " " + out, {}},
      {"cat " + in + " | " + kTool + "decode - - --gray --shrink 4 --show-while-loading > " + out,
       {.GrayOutput = true, .ShrinkFactor = sfQuarter}},
      {kTool + "decode " + in + " - --fast --depth 8 --no-smoothing > " + out,
       {.DecodeSpeed = dsBestSpeed, .BitmapDepth = bd8Bit}}};
  for (const auto& [command, options] : decodes) {
    SCOPED_TRACE(command);
    ASSERT_EQ(RunCapturing(dir, command).status, 0);
    TBitmap saved;
    saved.LoadFromFile(dir.Path("out.bmp").string());
    ExpectSameColours(Djpeg(jpeg, DjpegOptions(options)), Resolve(saved));
  }

  auto bitmap = PatternBitmap(61, 47);
  bitmap->SaveToFile(dir.Path("in.bmp").string());
  const std::string bmp = dir.Quoted("in.bmp"), jpg = dir.Quoted("out.jpg");
  for (const auto& [command, cjpegOptions] :
       {std::pair{kTool + "encode " + bmp + " " + jpg, "-quality 90"},
        {"cat " + bmp + " | " + kTool + "encode - - --quality 75 --gray --progressive > " + jpg,
         "-grayscale -progressive"}}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(RunCapturing(dir, command).status, 0);
    EXPECT_EQ(ReadFileBytes(dir.Path("out.jpg")),
              Cjpeg(61, 47, Resolve(*bitmap).rgb,
                    std::string(cjpegOptions) + " -dct float -baseline", false));
  }
}

TEST(Tool, HelpAndVersionGoToStdoutAndTheManualPageIsMadeFromThem) {
  TempDir dir;
  const std::string help = RunCapturing(dir, kTool + "--help").out;
  EXPECT_TRUE(help.starts_with("Usage: talvesk-jpeg COMMAND")) << help;
  for (const char* asking : {"-h", "help", "--help", "help --help"}) {
    const ShellRun run = RunCapturing(dir, kTool + asking);
    EXPECT_EQ(run.status, 0) << asking;
    EXPECT_EQ(run.out, help) << asking;
  }
  for (const std::string command : {"info", "decode", "encode"}) {
    const ShellRun run = RunCapturing(dir, kTool + command + " --help");
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_TRUE(run.out.starts_with("Usage: talvesk-jpeg " + command + " ")) << run.out;
    EXPECT_EQ(RunCapturing(dir, kTool + command + " x.jpg -h").out, run.out) << command;
    EXPECT_EQ(RunCapturing(dir, kTool + "help " + command).out, run.out) << command;
  }
  // cjpeg says which libjpeg-turbo it was built with; so must we.
  std::string cjpeg;
  RunShell("cjpeg -version 2>&1", &cjpeg);
  std::smatch turbo;
  ASSERT_TRUE(std::regex_search(cjpeg, turbo, std::regex("libjpeg-turbo version ([0-9.]+)")));
  const ShellRun version = RunCapturing(dir, kTool + "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_search(version.out, std::regex("^talvesk-jpeg [0-9]+\\.[0-9]+")));
  EXPECT_NE(version.out.find("libjpeg-turbo " + turbo[1].str()), std::string::npos);

  // The page cmake --install puts in place names every option the help lists.
  const std::string install = "cmake --install '" TALVESK_BINARY_DIR "' --component talvesk-jpeg";
  ASSERT_EQ(RunShell(install + " --prefix " + dir.Quoted("prefix") + " >/dev/null"), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("prefix/bin/talvesk-jpeg")));
  const std::string page = ReadFileText(dir.Path("prefix/share/man/man1/talvesk-jpeg.1"));
  EXPECT_NE(page.find(".TH TALVESK-JPEG \"1\""), std::string::npos) << page;
  const std::regex listed("\n  (--[a-z-]+)");
  for (std::sregex_iterator option(help.begin(), help.end(), listed), end; option != end;
       ++option) {
    const std::string name = (*option)[1];
    EXPECT_NE(page.find(std::regex_replace(name, std::regex("-"), "\\-")), std::string::npos)
        << name;
  }
}

TEST(Tool, UsageErrorsAndFailuresHaveTheirExitStatusAndOneMessage) {
  TempDir dir;
  for (const std::string usage :
       {"", "frobnicate x.jpg", "help frobnicate", "--version x", "info a b", "decode a.jpg",
        "decode a b --depth 16", "decode a b --shrink 3", "decode a b --bogus",
        "decode a b --depth", "encode a b --quality 0", "encode a b --quality 101",
        "encode a b --quality x"}) {
    const ShellRun run = RunCapturing(dir, kTool + usage);
    EXPECT_EQ(run.status, 2) << usage;
    EXPECT_EQ(run.out, "") << usage;
    EXPECT_NE(run.err.find("usage"), std::string::npos) << usage << ": " << run.err;
  }
  WriteFileBytes(dir.Path("bad.jpg"), Bytes{'n', 'o', 'p', 'e'});
  WriteFileBytes(dir.Path("in.jpg"), MakeJpeg(200, 150));
  PatternBitmap(65501, 1)->SaveToFile(dir.Path("wide.bmp").string());
  const Bytes kept = MakeJpeg(5, 5);
  WriteFileBytes(dir.Path("keep.jpg"), kept);
  const std::string bad = dir.Quoted("bad.jpg"), in = dir.Quoted("in.jpg"),
                    out = " " + dir.Quoted("out") + " ";
  // A failure writes nothing to standard output; a reader that is gone, or a full device, is a
  // failure too; a save that fails leaves the file that was there.
  for (const auto& [failing, message] :
       {std::pair{"decode " + bad + out, JpegErrorText(JERR_NO_SOI) + "\n"},
        {"info " + dir.Quoted("missing.jpg"), ""},
        {"decode " + in + " /dev/full", ""},
        {"encode " + dir.Quoted("wide.bmp") + " " + dir.Quoted("keep.jpg"),
         JpegErrorText(JERR_IMAGE_TOO_BIG) + "\n"},
        {"decode " + in + " - > /dev/full", ""},
        {"--help > /dev/full", ""},
        {"decode " + in + " -; echo $? > " + dir.Quoted("status") + ") | head -c 1 >/dev/null",
         ""}}) {
    // The reader that is gone: the tool's own status is kept in a file.
    const bool piped = failing.ends_with("/dev/null");
    ShellRun run = RunCapturing(dir, (piped ? "(" : "") + kTool + failing);
    if (piped) run.status = std::stoi(ReadFileText(dir.Path("status")));
    EXPECT_EQ(run.status, 1) << failing;
    EXPECT_EQ(run.out, "") << failing;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << failing << ": " << run.err;
    if (!message.empty()) {
      EXPECT_EQ(run.err, message);
    }
  }
  EXPECT_EQ(ReadFileBytes(dir.Path("keep.jpg")), kept);
}

// What a terminal received after a bar was shown: frames of this activity, each drawn over the
// last, then the line cleared. "<no bar>" when the output has another shape.
std::string AfterBar(const std::string& received, const std::string& activity) {
  std::smatch clear;
  if (!std::regex_search(received, clear, std::regex("\r +\r"))) return "<no bar>";
  const std::string frames = clear.prefix();
  const std::regex frame("\r" + activity + " +[0-9]+% \\[[#-]{20}\\]");
  if (frames.empty() || !std::regex_replace(frames, frame, "").empty()) return "<no bar>";
  return clear.suffix();
}

TEST(Tool, ProgressBarOnlyOnATerminalAndNeverAmongProgressLines) {
  TempDir dir;
  Bytes broken = MakeJpeg(960, 720, "-progressive");
  WriteFileBytes(dir.Path("in.jpg"), broken);
  // The last scan's header made too short: the decode fails after most of its work.
  const std::uint8_t startOfScan[] = {0xFF, 0xDA};
  const auto lastScan =
      std::find_end(broken.begin(), broken.end(), std::begin(startOfScan), std::end(startOfScan));
  lastScan[2] = 0;
  lastScan[3] = 1;
  WriteFileBytes(dir.Path("broken.jpg"), broken);
  PatternBitmap(960, 720)->SaveToFile(dir.Path("in.bmp").string());
  // The test hook shrinks the half-second waits to half a millisecond.
  const std::string fast = "TALVESK_JPEG_TEST_CLOCK_SPEEDUP=1000 " + kTool;
  const std::string decode = fast + "decode " + dir.Quoted("in.jpg") + " " + dir.Quoted("out.bmp");
  for (const auto& [command, activity, expectedStatus, after] :
       {std::tuple{decode + " --show-while-loading", "decoding", 0, std::string()},
        {fast + "encode " + dir.Quoted("in.bmp") + " " + dir.Quoted("out.jpg"), "encoding", 0, ""},
        {fast + "decode " + dir.Quoted("broken.jpg") + " " + dir.Quoted("broken.bmp"), "decoding",
         1, JpegErrorText(JERR_BAD_LENGTH) + "\n"}}) {
    int status = -1;
    const std::string received = RunOnTerminal(command, &status);
    EXPECT_EQ(status, expectedStatus) << command;
    EXPECT_EQ(AfterBar(received, activity), after) << received;
  }

  int status = -1;
  EXPECT_EQ(RunOnTerminal(decode + " --quiet", &status), "");
  EXPECT_EQ(RunCapturing(dir, decode + " --show-while-loading").err, "");
  // On a terminal too, --progress gives its lines and nothing else.
  const std::string lines = RunOnTerminal(decode + " --progress", &status);
  EXPECT_TRUE(std::regex_match(
      lines, std::regex("starting 0 0 0 0 0 0\n(running( [0-9]+){6}\n)+ending 100 1 0 0 0 0\n")))
      << lines;
}

}  // namespace
