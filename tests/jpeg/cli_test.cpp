// talvesk-jpeg as a command-line program: help and version on stdout with status 0, the
// installed manual page made from --help, "-" for standard input and output byte for byte like
// files, and the progress bar only on a terminal.
#include <gtest/gtest.h>
#include <jerror.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <regex>
#include <sstream>
#include <tuple>

#include "tests/jpeg/test_support.h"

namespace {

// Runs the command with a pseudo-terminal as stdin, stdout and stderr (no newline translation);
// returns what the terminal received, and the exit status in *status.
std::string RunOnTerminal(const std::string& command, int* status) {
  termios settings{};
  cfmakeraw(&settings);
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, &settings, nullptr);
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string received;
  if (child < 0) return received;
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(terminal, chunk, sizeof chunk);
    if (got > 0) {
      received.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;  // EIO: the child's side is closed
    }
  }
  close(terminal);
  int wait = 0;
  waitpid(child, &wait, 0);
  *status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
  return received;
}

TEST(CommandLine, HelpAndVersionGoToStdoutAndTheManualPageIsMadeFromThem) {
  TempDir dir;
  const std::string help = RunCapturing(dir, kTool + "--help").out;
  EXPECT_TRUE(help.starts_with("Usage: talvesk-jpeg COMMAND")) << help;
  for (const char* asking : {"-h", "help", "--help", "help --help"}) {
    const ShellRun run = RunCapturing(dir, kTool + asking);
    EXPECT_EQ(run.status, 0) << asking;
    EXPECT_EQ(run.err, "") << asking;
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
  EXPECT_NE(version.out.find("Copyright"), std::string::npos) << version.out;

  for (const char* failing : {"help frobnicate", "--version x", "--help > /dev/full"}) {
    const ShellRun run = RunCapturing(dir, kTool + failing);
    EXPECT_EQ(run.status, std::string(failing).ends_with("full") ? 1 : 2) << failing;
    EXPECT_EQ(run.out, "") << failing;
    EXPECT_NE(run.err, "") << failing;
  }

  // The page cmake --install puts in place names every option the help lists.
  ASSERT_EQ(RunShell("cmake --install '" TALVESK_BINARY_DIR "' --component talvesk-jpeg "
                     "--prefix " +
                     dir.Quoted("prefix") + " >/dev/null"),
            0);
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

TEST(CommandLine, DashReadsStdinAndWritesStdoutAsFilesWould) {
  TempDir dir;
  WriteFileBytes(dir.Path("in.jpg"), MakeJpeg(200, 150, "-progressive"));
  PatternBitmap(61, 47)->SaveToFile(dir.Path("in.bmp").string());
  const std::string in = dir.Quoted("in.jpg"), bmp = dir.Quoted("in.bmp");
  ASSERT_EQ(RunCapturing(dir, kTool + "decode " + in + " " + dir.Quoted("file.bmp")).status, 0);
  ASSERT_EQ(RunCapturing(dir, kTool + "encode " + bmp + " " + dir.Quoted("file.jpg")).status, 0);
  const Bytes decoded = ReadFileBytes(dir.Path("file.bmp"));
  const Bytes encoded = ReadFileBytes(dir.Path("file.jpg"));
  // cat makes standard input a pipe, which cannot seek.
  for (const auto& [command, expected] :
       {std::pair{"cat " + in + " | " + kTool + "decode - -", decoded},
        {kTool + "decode " + in + " - --depth 24", decoded},
        {"cat " + bmp + " | " + kTool + "encode - - --quality 90", encoded},
        {kTool + "encode " + bmp + " -", encoded},
        {"cat " + in + " | " + kTool + "decode - " + dir.Quoted("o.bmp") + " && cat " +
             dir.Quoted("o.bmp"),
         decoded}}) {
    const ShellRun run = RunCapturing(dir, command);
    EXPECT_EQ(run.status, 0) << command << ": " << run.err;
    EXPECT_TRUE(Bytes(run.out.begin(), run.out.end()) == expected) << command;
  }
  EXPECT_EQ(RunCapturing(dir, kTool + "info - < " + in).out, "200 150 gray=0 progressive=1\n");

  // A failure writes nothing to standard output; a reader that is gone, or a full device, is a
  // failure with one message.
  const std::string status = dir.Quoted("status");
  for (const std::string& failing :
       {"echo nope | " + kTool + "decode - -", kTool + "decode " + in + " - > /dev/full",
        "(" + kTool + "decode " + in + " -; echo $? > " + status + ") | head -c 1 >/dev/null"}) {
    ShellRun run = RunCapturing(dir, failing);
    if (failing.find("head") != std::string::npos)
      run.status = std::stoi(ReadFileText(dir.Path("status")));
    EXPECT_EQ(run.status, 1) << failing;
    EXPECT_EQ(run.out, "") << failing;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << failing << ": " << run.err;
  }
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

TEST(CommandLine, ProgressBarOnlyOnATerminalAndNeverAmongProgressLines) {
  TempDir dir;
  WriteFileBytes(dir.Path("in.jpg"), MakeJpeg(960, 720, "-progressive"));
  // The last scan's header made too short: the decode fails after most of its work.
  Bytes broken = ReadFileBytes(dir.Path("in.jpg"));
  const std::uint8_t startOfScan[] = {0xFF, 0xDA};
  const auto lastScan =
      std::find_end(broken.begin(), broken.end(), std::begin(startOfScan), std::end(startOfScan));
  ASSERT_NE(lastScan, broken.end());
  lastScan[2] = 0;
  lastScan[3] = 1;
  WriteFileBytes(dir.Path("broken.jpg"), broken);
  const std::string plain =
      kTool + "decode " + dir.Quoted("in.jpg") + " " + dir.Quoted("plain.bmp");
  ASSERT_EQ(RunCapturing(dir, plain).status, 0);
  // The test hook shrinks the half-second waits to half a millisecond.
  const std::string fast = "TALVESK_JPEG_TEST_CLOCK_SPEEDUP=1000 " + kTool;
  const std::string decode = fast + "decode " + dir.Quoted("in.jpg") + " " + dir.Quoted("out.bmp");

  const std::string encode =
      fast + "encode " + dir.Quoted("plain.bmp") + " " + dir.Quoted("out.jpg");
  const std::string failing =
      fast + "decode " + dir.Quoted("broken.jpg") + " " + dir.Quoted("broken.bmp");
  for (const auto& [command, activity, expectedStatus, after] :
       {std::tuple{decode + " --show-while-loading", "decoding", 0, std::string()},
        {encode, "encoding", 0, ""},
        {failing, "decoding", 1, JpegErrorText(JERR_BAD_LENGTH) + "\n"}}) {
    int status = -1;
    const std::string received = RunOnTerminal(command, &status);
    EXPECT_EQ(status, expectedStatus) << command;
    EXPECT_EQ(AfterBar(received, activity), after) << received;
  }
  EXPECT_EQ(ReadFileBytes(dir.Path("out.bmp")), ReadFileBytes(dir.Path("plain.bmp")));

  int status = -1;
  EXPECT_EQ(RunOnTerminal(decode + " --quiet", &status), "");
  EXPECT_EQ(RunCapturing(dir, decode + " --show-while-loading").err, "");
  // On a terminal too, --progress gives its lines and nothing else.
  std::istringstream lines(RunOnTerminal(decode + " --progress", &status));
  const std::regex running("running( [0-9]+){6}");
  std::vector<std::string> seen;
  for (std::string line; std::getline(lines, line);) seen.push_back(line);
  ASSERT_GT(seen.size(), 2u);
  EXPECT_EQ(seen.front(), "starting 0 0 0 0 0 0");
  EXPECT_EQ(seen.back(), "ending 100 1 0 0 0 0");
  for (std::size_t i = 1; i + 1 < seen.size(); ++i) {
    EXPECT_TRUE(std::regex_match(seen[i], running)) << seen[i];
  }
}

}  // namespace
