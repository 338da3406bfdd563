// `talvesk-jpeg info`, run as the built program: its output for real files and its exit codes.
#include <gtest/gtest.h>
#include <jerror.h>

#include "tests/jpeg/test_support.h"

namespace {

// Runs the tool; returns its exit status, its output and its error output.
std::tuple<int, std::string, std::string> RunTool(const TempDir& dir, const std::string& args) {
  std::string out;
  const auto errFile = dir.Path("stderr.txt");
  const int status = RunShell(
      "'" TALVESK_BINARY_DIR "/tools/talvesk-jpeg' " + args + " 2>'" + errFile.string() + "'",
      &out);
  const Bytes err = ReadFileBytes(errFile);
  return {status, out, std::string(err.begin(), err.end())};
}

TEST(ToolInfo, PrintsSizeGrayAndProgressive) {
  TempDir dir;
  const std::string file = "'" + dir.Path("in.jpg").string() + "'";
  const struct {
    const char* options;
    bool grayInput;
    int width, height;
    const char* expected;
  } cases[] = {{"", false, 123, 45, "123 45 gray=0 progressive=0\n"},
               {"-grayscale -progressive", false, 17, 1, "17 1 gray=1 progressive=1\n"},
               {"", true, 2, 300, "2 300 gray=1 progressive=0\n"}};
  for (const auto& c : cases) {
    WriteFileBytes(dir.Path("in.jpg"), MakeJpeg(c.width, c.height, c.options, c.grayInput));
    EXPECT_EQ(RunTool(dir, "info " + file), std::make_tuple(0, std::string(c.expected), ""));
  }
}

TEST(ToolInfo, FailuresPrintTheMessageAloneAndUsageErrorsTheUsage) {
  TempDir dir;
  WriteFileBytes(dir.Path("bad.jpg"), Bytes{'n', 'o', 'p', 'e'});
  EXPECT_EQ(RunTool(dir, "info '" + dir.Path("bad.jpg").string() + "'"),
            std::make_tuple(1, std::string(), "JPEG error #" + std::to_string(JERR_NO_SOI) + "\n"));
  const auto [status, out, err] = RunTool(dir, "info '" + dir.Path("missing.jpg").string() + "'");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

  for (const char* args : {"", "frobnicate x.jpg", "info", "info --bogus x.jpg", "info a b"}) {
    const auto [usageStatus, usageOut, usage] = RunTool(dir, args);
    EXPECT_EQ(usageStatus, 2) << args;
    EXPECT_NE(usage.find("usage"), std::string::npos) << args << ": " << usage;
  }
}

}  // namespace
