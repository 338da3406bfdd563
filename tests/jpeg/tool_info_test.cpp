// `talvesk-jpeg info`, run as the built program: its output for real files and its exit codes.
#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>
#include <string>

#include "tests/jpeg/test_support.h"

namespace {

const std::string kTool = TALVESK_BINARY_DIR "/tools/talvesk-jpeg";

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun RunTool(const TempDir& dir, const std::string& arguments) {
  ToolRun run{};
  const auto errFile = dir.Path("stderr.txt");
  run.status = RunShell("'" + kTool + "' " + arguments + " 2>'" + errFile.string() + "'", &run.out);
  const Bytes err = ReadFileBytes(errFile);
  run.err.assign(err.begin(), err.end());
  return run;
}

TEST(ToolInfo, PrintsSizeGrayAndProgressive) {
  TempDir dir;
  const struct {
    const char* options;
    bool grayInput;
    int width, height;
    const char* expected;
  } cases[] = {{"", false, 123, 45, "123 45 gray=0 progressive=0\n"},
               {"-progressive", false, 8, 300, "8 300 gray=0 progressive=1\n"},
               {"-grayscale -progressive", false, 17, 1, "17 1 gray=1 progressive=1\n"},
               {"", true, 2, 2, "2 2 gray=1 progressive=0\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    WriteFileBytes(dir.Path("in.jpg"), MakeJpeg(c.width, c.height, c.options, c.grayInput));
    const ToolRun run = RunTool(dir, "info '" + dir.Path("in.jpg").string() + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.expected);
    EXPECT_EQ(run.err, "");
  }
}

TEST(ToolInfo, FailuresPrintTheMessageAloneAndExitOne) {
  TempDir dir;
  WriteFileBytes(dir.Path("bad.jpg"), Bytes{'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'});
  ToolRun run = RunTool(dir, "info '" + dir.Path("bad.jpg").string() + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "JPEG error #" + std::to_string(JERR_NO_SOI) + "\n");

  run = RunTool(dir, "info '" + dir.Path("missing.jpg").string() + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST(ToolInfo, UsageErrorsExitTwo) {
  TempDir dir;
  for (const char* arguments :
       {"", "frobnicate x.jpg", "info", "info --bogus x.jpg", "info a.jpg b.jpg"}) {
    SCOPED_TRACE(arguments);
    const ToolRun run = RunTool(dir, arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage"), std::string::npos) << run.err;
  }
}

}  // namespace
