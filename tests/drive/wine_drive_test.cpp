// The virtual drive with the real engines: FUSE, Wine (one prefix for the whole program, made by
// the program's own --install), and a Windows probe built with mingw-w64 that reports what a
// Windows program sees of the drive.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "framework/platform/process.h"
#include "tests/drive/disc_images.h"
#include "tests/support/files.h"
#include "tests/support/shell.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kDrive = TALVESK_BINARY_DIR "/drive/talvesk-drive";
const std::string kProbe = TALVESK_BINARY_DIR "/tests/drive/probe.exe";
const std::string kProbe32 = TALVESK_BINARY_DIR "/tests/drive/probe32.exe";
const std::string kDaemonCommand = "\"C:\\Program Files\\DAEMON Tools\\daemon.exe\"";

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }
Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The Windows spelling of a host path, through Wine's Z: drive.
std::string OnDriveZ(const fs::path& path) {
  std::string windows = "Z:" + path.string();
  for (char& c : windows) c = c == '/' ? '\\' : c;
  return windows;
}

using Report = std::map<std::string, std::string>;

Report ReadReport(const fs::path& path) {
  Report report;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // written in Windows text mode
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) report[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return report;
}

bool WaitFor(const fs::path& path, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

class WineDriveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new TempDir;
    const fs::path root = scratch_->Root();
    fs::create_directories(root / "home");
    fs::create_directories(root / "run");
    fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("WINEPREFIX", (root / "prefix").c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    // No Mono or Gecko installer dialogs while the prefix is made.
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    setenv("TALVESK_PROBE_REPORT", OnDriveZ(root / "report.txt").c_str(), 1);

    // Two discs: the probe as their AutoPlay program, a file for it to read, distinct labels.
    // The second's probe is a 32-bit program, as most discs hold, where Wine runs those.
    have32_ = RunShell(
                  "dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | "
                  "grep -q 'install ok installed'") == 0;
    if (!have32_) std::puts("wine32 is not installed: the 32-bit probe is left out");
    for (const std::string label : {"FIRST_DISC", "SECOND_DISC"}) {
      const fs::path folder = root / label;
      fs::create_directories(folder / "Data");
      fs::copy_file(label == "SECOND_DISC" && have32_ ? kProbe32 : kProbe, folder / "Probe.exe");
      WriteFileBytes(folder / "AUTORUN.INF",
                     Text("[AutoRun]\r\nopen=Probe.exe Data\\ReadMe.txt\r\n"));
      WriteFileBytes(folder / "Data" / "ReadMe.txt", Text("inside " + label + "\r\n"));
      MakeIsoImage(folder, root / (label + ".iso"), NameTrees::kRockRidgeAndJoliet, label);
    }
    // The first as the launcher finds it, in a title folder, named obraz.bin; the second raw.
    fs::create_directories(root / "disc" / "Gra Pierwsza");
    fs::copy_file(root / "FIRST_DISC.iso", root / "disc" / "Gra Pierwsza" / "obraz.bin");
    WriteRawImage(root / "SECOND_DISC.iso", root / "second.bin", 1);

    installOutput_ = new std::string;
    installStatus_ = RunShell(Quoted(kDrive) + " --install 2>&1", installOutput_);
  }

  static void TearDownTestSuite() {
    for (int device = 0; device < 4; ++device) {
      RunShell(Quoted(kDrive) + " -unmount " + std::to_string(device) + " >/dev/null 2>&1");
    }
    // The prefix's server is this test's own.
    RunShell("wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1");
    delete installOutput_;
    delete scratch_;
  }

  void SetUp() override {
    ASSERT_EQ(installStatus_, 0) << *installOutput_;
    fs::remove(Root() / "report.txt");
  }

  static fs::path Root() { return scratch_->Root(); }
  static fs::path Prefix() { return Root() / "prefix"; }
  static fs::path DriveLink(char letter) {
    return Prefix() / "dosdevices" / (std::string(1, static_cast<char>(letter | 0x20)) + ":");
  }

  // Runs talvesk-drive; its status, and stdout and stderr together in *output.
  static int Drive(const std::string& arguments, std::string* output = nullptr) {
    std::string text;
    const int status = RunShell(Quoted(kDrive) + " " + arguments + " 2>&1", &text);
    if (output) *output = text;
    return status;
  }

  // The probe run directly (not by AutoPlay) on a file of a drive.
  static Report Probe(const std::string& windowsFile) {
    RunShell("wine " + Quoted(kProbe) + " '" + windowsFile + "' >/dev/null 2>&1");
    return ReadReport(Root() / "report.txt");
  }

  // A file of the drive's runtime folder for this prefix.
  static fs::path StateFile(const std::string& name) {
    for (const auto& folder : fs::directory_iterator(Root() / "run" / "talvesk-drive")) {
      return folder.path() / name;
    }
    return {};
  }

  // The drive's FUSE mounts in this test's folders, from the kernel's own table (other tests
  // may mount images of their own meanwhile).
  static int FuseMounts() {
    std::string table;
    RunShell("grep 'fuse.talvesk-drive' /proc/self/mountinfo | grep -cF " + Quoted(Root()), &table);
    return std::atoi(table.c_str());
  }

  static TempDir* scratch_;
  static bool have32_;
  static std::string* installOutput_;
  static int installStatus_;
};

TempDir* WineDriveTest::scratch_ = nullptr;
bool WineDriveTest::have32_ = false;
std::string* WineDriveTest::installOutput_ = nullptr;
int WineDriveTest::installStatus_ = -1;

TEST_F(WineDriveTest, TheLaunchersCommandMountsACdromThatAutoPlayedProbeSees) {
  // Exactly what a click runs: the launcher's command line, through the installed link.
  const std::string image = OnDriveZ(Root() / "disc") + "\\Gra Pierwsza\\obraz.bin";
  ASSERT_EQ(WinExec(kDaemonCommand + " -mount 0,\"" + image + "\"", SW_SHOWNORMAL), 33u);
  ASSERT_TRUE(WaitFor(Root() / "report.txt", 60)) << "AutoPlay did not start the probe";

  const Report report = ReadReport(Root() / "report.txt");
  EXPECT_EQ(report.at("drive_type"), "5");  // DRIVE_CDROM
  EXPECT_EQ(report.at("label"), "FIRST_DISC");
  EXPECT_EQ(report.at("filesystem"), "CDFS");
  EXPECT_EQ(report.at("cwd"), "D:\\");  // the first free letter, the drive's root
  EXPECT_EQ(report.at("file"), "inside FIRST_DISC");
  EXPECT_EQ(FuseMounts(), 1);

  std::string output;
  ASSERT_EQ(Drive("-unmount 0", &output), 0) << output;
  EXPECT_EQ(FuseMounts(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(DriveLink('D'))));
  EXPECT_FALSE(fs::exists(StateFile("device0")));
  EXPECT_EQ(Probe("D:\\Data\\ReadMe.txt").at("drive_type"), "1");  // DRIVE_NO_ROOT_DIR
}

TEST_F(WineDriveTest, ARemountReplacesTheImageForAProgramStartedWhileWineRuns) {
  ASSERT_EQ(Drive("--autoplay off"), 0);
  std::string output;
  ASSERT_EQ(Drive("-mount 1," + Quoted(Root() / "FIRST_DISC.iso"), &output), 0) << output;
  const char letter = output.at(output.find("as drive ") + 9);

  // A Windows program keeps Wine's server running through the remount, whose AutoPlay program
  // (32-bit, where Wine runs those) reports what it sees.
  const fs::path release = Root() / "release-hold";
  RunShell("wine " + Quoted(kProbe) + " --hold '" + OnDriveZ(release) + "' >/dev/null 2>&1 &");
  ASSERT_EQ(Drive("--autoplay on"), 0);
  ASSERT_EQ(Drive("-mount 1," + Quoted(Root() / "second.bin"), &output), 0) << output;
  EXPECT_NE(output.find(std::string("as drive ") + letter + ":"), std::string::npos) << output;
  const bool reported = WaitFor(Root() / "report.txt", 60);
  WriteFileBytes(release, {});
  ASSERT_TRUE(reported) << "AutoPlay did not start the probe";

  const Report report = ReadReport(Root() / "report.txt");
  EXPECT_EQ(report.at("drive_type"), "5");
  EXPECT_EQ(report.at("label"), "SECOND_DISC");  // read from a raw 2352-byte-sector image
  EXPECT_EQ(report.at("cwd"), std::string(1, letter) + ":\\");
  EXPECT_EQ(report.at("file"), "inside SECOND_DISC");
  EXPECT_EQ(FuseMounts(), 1);
  EXPECT_EQ(Drive("-unmount 1"), 0);
}

TEST_F(WineDriveTest, AKilledServerIsRecoveredAndConcurrentMountsStayConsistent) {
  ASSERT_EQ(Drive("--autoplay off"), 0);
  std::string output;
  ASSERT_EQ(Drive("-mount 2," + Quoted(Root() / "FIRST_DISC.iso"), &output), 0) << output;
  const char letter = output.at(output.find("as drive ") + 9);
  const Report record = ReadReport(StateFile("device2.record"));
  ASSERT_EQ(kill(std::stoi(record.at("pid")), SIGKILL), 0);
  ASSERT_EQ(Drive("-mount 2," + Quoted(Root() / "FIRST_DISC.iso"), &output), 0) << output;
  EXPECT_EQ(Probe(std::string(1, letter) + ":\\Data\\ReadMe.txt").at("file"), "inside FIRST_DISC");
  EXPECT_EQ(FuseMounts(), 1);

  // A double click, or two launchers: mounts of one device at once. Each succeeds in turn; the
  // last one's image is mounted, once, and the record says which.
  std::string statuses;
  RunShell("for image in FIRST SECOND FIRST SECOND; do " + Quoted(kDrive) + " -mount 2," +
               Quoted(Root()) + "/${image}_DISC.iso >/dev/null 2>&1 & pids=\"$pids $!\"; done; " +
               "for pid in $pids; do wait $pid; printf %s $?; done",
           &statuses);
  EXPECT_EQ(statuses, "0000");
  EXPECT_EQ(FuseMounts(), 1);
  const std::string image = ReadReport(StateFile("device2.record")).at("image");
  const std::string label =
      image.find("SECOND") != std::string::npos ? "SECOND_DISC" : "FIRST_DISC";
  EXPECT_EQ(Probe(std::string(1, letter) + ":\\Data\\ReadMe.txt").at("label"), label);
  EXPECT_EQ(Drive("-unmount 2"), 0);
  EXPECT_EQ(FuseMounts(), 0);
  EXPECT_EQ(Drive("--autoplay on"), 0);
}

TEST_F(WineDriveTest, InstallingNeverReplacesAWindowsProgramUnlessForced) {
  const fs::path daemon = Prefix() / "drive_c" / "Program Files" / "DAEMON Tools" / "daemon.exe";
  const fs::path installed = Root() / "home" / ".local" / "share" / "talvesk" / "talvesk-drive";
  EXPECT_EQ(fs::read_symlink(daemon), installed);
  EXPECT_EQ(ReadFileBytes(installed), ReadFileBytes(kDrive));

  fs::remove(daemon);
  fs::copy_file(kProbe, daemon);
  std::string output;
  EXPECT_EQ(Drive("--install", &output), 1);
  EXPECT_NE(output.find("A Windows program is already installed"), std::string::npos) << output;
  EXPECT_EQ(ReadFileBytes(daemon), ReadFileBytes(kProbe));

  EXPECT_EQ(Drive("--install --force", &output), 0) << output;
  EXPECT_EQ(fs::read_symlink(daemon), installed);
  EXPECT_EQ(ReadFileBytes(daemon.string() + ".orig"), ReadFileBytes(kProbe));
  EXPECT_EQ(Drive("--install", &output), 0) << output;  // again: nothing changes
  EXPECT_EQ(fs::read_symlink(daemon), installed);
  fs::remove(daemon.string() + ".orig");
}

TEST_F(WineDriveTest, FailuresSayWhatIsWrongAndLeaveNothingBehind) {
  WriteFileBytes(Root() / "notes.txt", Text("not a disc\n"));
  struct Case {
    std::string arguments;
    std::string environment;
    std::string message;
  };
  const Case cases[] = {
      {"-mount 0," + Quoted(Root() / "notes.txt"), "", "is not a CD image"},
      {"-mount 0," + Quoted(Root() / "missing.bin"), "", "does not exist"},
      {"-mount 0,'Q:\\obraz.bin'", "", "does not map"},
      {"-mount 0," + Quoted(Root() / "FIRST_DISC.iso"), "PATH=/nowhere ", "package wine"},
  };
  // Every letter taken (a dangling link still holds its letter).
  std::vector<fs::path> taken;
  for (char letter = 'D'; letter <= 'Y'; ++letter) {
    if (fs::exists(fs::symlink_status(DriveLink(letter)))) continue;
    fs::create_symlink("/nonexistent", DriveLink(letter));
    taken.push_back(DriveLink(letter));
  }
  std::string output;
  EXPECT_EQ(Drive("-mount 0," + Quoted(Root() / "FIRST_DISC.iso"), &output), 1);
  EXPECT_NE(output.find("No drive letter is free"), std::string::npos) << output;
  EXPECT_EQ(FuseMounts(), 0);
  for (const fs::path& link : taken) fs::remove(link);

  for (const Case& failure : cases) {
    EXPECT_EQ(
        RunShell(failure.environment + Quoted(kDrive) + " " + failure.arguments + " 2>&1", &output),
        1)
        << failure.arguments;
    EXPECT_NE(output.find(failure.message), std::string::npos) << output;
    EXPECT_EQ(FuseMounts(), 0) << failure.arguments;
    EXPECT_FALSE(fs::exists(fs::symlink_status(DriveLink('D')))) << failure.arguments;
  }
}

}  // namespace
