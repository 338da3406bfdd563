#include "framework/platform/process.h"

#include <fcntl.h>
#include <sys/wait.h>

#include <fstream>

#include "drive_fixture.h"
#include "tests/support/stand_in_program.h"

namespace {

using Arguments = std::vector<AnsiString>;

TEST(CommandLineSplitting, WindowsQuoteAndBackslashRules) {
  const std::pair<AnsiString, Arguments> table[] = {
      {R"(prog a\\\b d"e f"g h)", {"prog", R"(a\\\b)", "de fg", "h"}},
      {R"(prog a\\\"b c d)", {"prog", R"(a\"b)", "c", "d"}},
      {R"(prog a\\\\"b c" d e)", {"prog", R"(a\\b c)", "d", "e"}},
      {R"(prog a"b"" c d)", {"prog", R"(ab" c d)"}},
      {R"(prog "" x "")", {"prog", "", "x", ""}},
      {R"(prog "a\"b" \\"c d")", {"prog", R"(a"b)", R"(\c d)"}},
      {"prog\ta\t\tb  ", {"prog", "a", "b"}},
      {R"(prog "unterminated arg)", {"prog", "unterminated arg"}},
      // The program name: quotes only group, backslashes are plain.
      {R"("C:\Program Files\DAEMON Tools\daemon.exe" -mount 0,"E:\Launcher\Demo\obraz.bin")",
       {R"(C:\Program Files\DAEMON Tools\daemon.exe)", "-mount",
        R"(0,E:\Launcher\Demo\obraz.bin)"}},
      {R"("C:\dir\\" x)", {R"(C:\dir\\)", "x"}},
      {R"(C:\a"b c"\d.exe y)", {R"(C:\ab c\d.exe)", "y"}},
      {"   lead", {"lead"}},
      {"", {}},
      {" \t ", {}},
      {AnsiString("prog a\0b c", 10), {"prog", "a"}},
  };
  for (const auto& [line, expected] : table)
    EXPECT_EQ(SplitWindowsCommandLine(line), expected) << line;
}

class ProcessStart : public DriveFixture {
 protected:
  void SetUp() override {
    DriveFixture::SetUp();
    LinkDrive('d', "disc");
  }
  void TearDown() override {
    setenv("PATH", oldPath_.c_str(), 1);
    DriveFixture::TearDown();
  }
  static Arguments Lines(const std::string& path) {
    Arguments lines;
    std::ifstream text(path);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  // The child stays ours until it ends: its own session does not change its parent.
  static void WaitForChild() {
    int status = 0;
    ASSERT_GT(waitpid(-1, &status, 0), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  const std::string oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
};

TEST_F(ProcessStart, PassesArgumentsUnchangedAndDetaches) {
  const std::string script = root_ + "/disc/DAEMON Tools/daemon.exe";
  InstallStandInProgram(script);
  // A descriptor without close-on-exec, as libraries leave them, must not reach the child.
  const int leaked = open(File("marker").c_str(), O_RDONLY);
  const unsigned result = WinExec(
      R"("d:\daemon tools\DAEMON.EXE" -mount 0,"E:\Launcher\My Title\obraz.bin" say\"hi\" "a\\" "")",
      SW_SHOWNORMAL);
  close(leaked);
  ASSERT_GT(result, 31u);
  WaitForChild();

  const std::string folder = root_ + "/disc/DAEMON Tools/";
  EXPECT_EQ(Lines(folder + "args"),
            (Arguments{"-mount", R"(0,E:\Launcher\My Title\obraz.bin)", R"(say"hi")", "a\\", ""}));
  const Arguments session = Lines(folder + "session");
  ASSERT_EQ(session.size(), 1u);
  const auto space = session[0].find(' ');
  EXPECT_EQ(session[0].substr(0, space), session[0].substr(space + 1)) << "leads its own session";

  // Besides 0-2 only the listing's own folder and the shell's hold on the script may be open.
  int others = 0;
  for (const std::string& entry : Lines(folder + "fds")) {
    const auto arrow = entry.find(" -> ");
    if (arrow == std::string::npos) continue;
    const auto fdStart = entry.rfind(' ', arrow - 1) + 1;
    if (std::stoi(entry.substr(fdStart, arrow - fdStart)) <= 2) continue;
    ++others;
    const std::string target = entry.substr(arrow + 4);
    EXPECT_TRUE(target == script || (target.starts_with("/proc/") && target.ends_with("/fd")))
        << entry;
  }
  EXPECT_GE(others, 1) << "the listing's own folder shows, so the check has teeth";
}

TEST_F(ProcessStart, BareNamesSearchPathAndWindowsExecutablesGoThroughWine) {
  File("disc/Games/game.exe", "MZ\x90", 0644);
  const std::string bin = Dir("bin");
  InstallStandInProgram(bin + "/wine");
  setenv("PATH", (bin + ":" + oldPath_).c_str(), 1);
  ASSERT_GT(WinExec(R"(D:\games\GAME /fast "x y")", SW_SHOWNORMAL), 31u) << ".exe is implied";
  WaitForChild();
  EXPECT_EQ(Lines(bin + "/args"), (Arguments{root_ + "/disc/Games/game.exe", "/fast", "x y"}));
  ASSERT_GT(WinExec("wine direct", SW_SHOWNORMAL), 31u);
  WaitForChild();
  EXPECT_EQ(Lines(bin + "/args"), (Arguments{"direct"}));

  setenv("PATH", Dir("empty-bin").c_str(), 1);
  EXPECT_EQ(WinExec(R"(D:\Games\game.exe)", SW_SHOWNORMAL), 11u) << "no wine to run it";
}

TEST_F(ProcessStart, FailuresAreReportedWithoutStartingAnything) {
  File("disc/plain.sh", "#!/bin/sh\nexit 0\n", 0644);
  File("disc/broken.sh", "#!/nonexistent/interpreter\n", 0755);
  File("disc/garbage", "neither a script nor a program", 0755);
  Dir("disc/folder");
  const std::pair<const char*, unsigned> cases[] = {
      {"", 0},
      {R"("C:\Program Files\DAEMON Tools\daemon.exe" -mount 0,"x")", 2},  // no C: drive here
      {R"(D:\missing.exe)", 2},
      {R"(D:\plain.sh)", 11},
      {R"(D:\broken.sh)", 11},
      {R"(D:\garbage)", 11},
      {R"(D:\folder)", 11}};
  for (const auto& [line, expected] : cases)
    EXPECT_EQ(WinExec(line, SW_SHOWNORMAL), expected) << line;
  int status = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1) << "no child was left behind";
}

}  // namespace
