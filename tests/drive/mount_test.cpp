// The drive through real FUSE: images of every layout mounted, walked and read back against the
// folder they were made from (or xorriso's own reading), and the server's life: detached, ended by
// an unmount, seen dead when killed, cleaned up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

#include "drive/drive.h"
#include "tests/drive/disc_images.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

bool FuseUsable() {
  return access("/dev/fuse", R_OK | W_OK) == 0 &&
         (geteuid() == 0 || access("/usr/bin/fusermount3", X_OK) == 0);
}

// Every folder and file below root by relative path: folders as "/", files by size and digest.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    if (name == ".windows-label" || name == ".windows-serial") continue;
    if (entry.is_directory()) {
      tree[name] = "/";
    } else {
      // One read of the whole file: a byte at a time is slow in the sanitizer build.
      std::string bytes(entry.file_size(), '\0');
      std::ifstream(entry.path(), std::ios::binary).read(bytes.data(), std::ssize(bytes));
      tree[name] =
          std::to_string(bytes.size()) + " " + std::to_string(std::hash<std::string>{}(bytes));
    }
  }
  return tree;
}

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x\n", serial);
  return text;
}

class MountedDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FuseUsable()) GTEST_SKIP() << "FUSE is not usable here";
    WriteSourceFolder(Source());
    MakeIsoImage(Source(), Image(), NameTrees::kRockRidgeAndJoliet);
    fs::create_directory(MountPoint());
  }

  void TearDown() override {
    if (MountStateAt(MountPoint()) != MountState::kNotMounted) Unmount(MountPoint());
    // Whatever a failed test left mounted goes too, so that no server outlives the test.
    if (geteuid() == 0)
      while (umount2(MountPoint().c_str(), MNT_DETACH) == 0) {
      }
    for (pid_t server : servers_)
      if (!ServerEnded(server)) kill(server, SIGKILL), waitpid(server, nullptr, 0);
  }

  fs::path Source() const { return dir_.Path("source"); }
  fs::path Image() const { return dir_.Path("image.iso"); }
  // A space in the name, as mountinfo escapes it.
  std::string MountPoint() const { return dir_.Path("drive D").string(); }

  pid_t Mount(const fs::path& imagePath, std::uint32_t* serial = nullptr) {
    DiscImage image(imagePath);
    if (serial != nullptr) *serial = image.VolumeSerial();
    const pid_t server = MountInBackground(image, MountPoint());
    servers_.push_back(server);
    return server;
  }

  // Whether the server ended with success within a few seconds (and is reaped).
  bool ServerEnded(pid_t server) {
    for (int tries = 0; tries < 500; ++tries) {
      int status = 0;
      if (waitpid(server, &status, WNOHANG) == server) {
        std::erase(servers_, server);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  TempDir dir_;
  std::vector<pid_t> servers_;
};

TEST_F(MountedDrive, EveryLayoutShowsTheImagesTreeByteForByte) {
  WriteRawImage(Image(), dir_.Path("mode1.bin"), 1);
  WriteRawImage(Image(), dir_.Path("mode2.bin"), 2);
  MakeIsoImage(Source(), dir_.Path("joliet.iso"), NameTrees::kJolietOnly);
  MakeIsoImage(Source(), dir_.Path("plain.iso"), NameTrees::kIsoOnly);
  ExtractWithXorriso(dir_.Path("joliet.iso"), dir_.Path("joliet"));
  ExtractWithXorriso(dir_.Path("plain.iso"), dir_.Path("plain"));
  const struct {
    const char* image;
    const char* oracle;
  } cases[] = {
      {"image.iso", "source"},  {"mode1.bin", "source"}, {"mode2.bin", "source"},
      {"joliet.iso", "joliet"}, {"plain.iso", "plain"},
  };
  std::map<std::string, std::map<std::string, std::string>> oracles;
  for (const char* oracle : {"source", "joliet", "plain"})
    oracles[oracle] = Tree(dir_.Path(oracle));
  std::uint32_t firstSerial = 0;
  for (const auto& layout : cases) {
    SCOPED_TRACE(layout.image);
    std::uint32_t serial = 0;
    const pid_t server = Mount(dir_.Path(layout.image), &serial);
    EXPECT_EQ(MountStateAt(MountPoint()), MountState::kServed);
    EXPECT_EQ(Tree(MountPoint()), oracles[layout.oracle]);
    EXPECT_EQ(ReadFileText(MountPoint() + "/.windows-label"), std::string(kVolumeLabel) + "\n");
    EXPECT_EQ(ReadFileText(MountPoint() + "/.windows-serial"), SerialText(serial));
    // The serial is the disc's, whatever layout its image is in.
    if (firstSerial == 0) firstSerial = serial;
    if (std::string(layout.oracle) == "source") {
      EXPECT_EQ(serial, firstSerial);
    }

    Unmount(MountPoint());
    EXPECT_TRUE(ServerEnded(server));
    EXPECT_EQ(MountStateAt(MountPoint()), MountState::kNotMounted);
    EXPECT_TRUE(fs::is_empty(MountPoint()));
  }
}

TEST_F(MountedDrive, FilesAreReadOnlyWithTheImagesTimesAndStableNumbers) {
  Mount(Image());
  const std::string drive = MountPoint();
  struct stat info {};
  ASSERT_EQ(stat((drive + "/Setup.exe").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode, S_IFREG | 0444);
  EXPECT_EQ(info.st_mtime, kSourceTime);
  ASSERT_EQ(stat((drive + "/Data").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode, S_IFDIR | 0555);
  EXPECT_EQ(open((drive + "/Setup.exe").c_str(), O_WRONLY), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(mkdir((drive + "/New").c_str(), 0755), -1);
  EXPECT_EQ(errno, EROFS);

  struct statvfs volume {};
  ASSERT_EQ(statvfs(drive.c_str(), &volume), 0);
  EXPECT_EQ(volume.f_bsize, 2048u);
  EXPECT_EQ(volume.f_blocks, fs::file_size(Image()) / 2048);

  // Reads at sector edges, across many sectors, and past the end of the file.
  const Bytes big = ReadFileBytes(Source() / "Data" / "big.bin");
  const int file = open((drive + "/Data/big.bin").c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  const struct {
    std::size_t offset, length;
  } reads[] = {{0, 1},           {2047, 2},
               {6143, 300000},   {big.size() - 10, 100},
               {big.size(), 10}, {big.size() + 5000, 10}};
  for (const auto& read : reads) {
    SCOPED_TRACE(read.offset);
    Bytes got(read.length);
    const ssize_t count = pread(file, got.data(), got.size(), static_cast<off_t>(read.offset));
    const std::size_t expected =
        std::min(read.length, big.size() - std::min(read.offset, big.size()));
    ASSERT_EQ(count, static_cast<ssize_t>(expected));
    EXPECT_TRUE(
        std::equal(got.begin(), got.begin() + count,
                   big.begin() + static_cast<std::ptrdiff_t>(std::min(read.offset, big.size()))));
  }
  close(file);

  // The same numbers on every mount of the image.
  const std::string mixed = drive + "/Data/Nested/Mixed Case Name.TXT";
  ASSERT_EQ(stat(mixed.c_str(), &info), 0);
  const ino_t inode = info.st_ino;
  Unmount(drive);
  Mount(Image());
  ASSERT_EQ(stat(mixed.c_str(), &info), 0);
  EXPECT_EQ(info.st_ino, inode);
  ASSERT_EQ(stat((drive + "/Setup.exe").c_str(), &info), 0);
  EXPECT_NE(info.st_ino, inode);
}

TEST_F(MountedDrive, TheServerIsDetachedAndHoldsNothingOfTheCallers) {
  // A lock file the caller holds, inheritable.
  const int lock = open(dir_.Path("lock").c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_GE(lock, 0);
  const pid_t server = Mount(Image());
  const fs::path process = "/proc/" + std::to_string(server);
  for (const auto& fd : fs::directory_iterator(process / "fd")) {
    const fs::path target = fs::read_symlink(fd.path());
    EXPECT_TRUE(target == "/dev/null" || target == "/dev/fuse" || target == Image()) << target;
  }
  EXPECT_EQ(fs::read_symlink(process / "cwd"), "/");
  EXPECT_EQ(getsid(server), server);
  EXPECT_NE(ReadFileText(process / "status").find("Threads:\t1\n"), std::string::npos);
  close(lock);

  Unmount(MountPoint());
  EXPECT_TRUE(ServerEnded(server));
}

TEST_F(MountedDrive, AKilledServerIsSeenDeadAndCleanedUp) {
  const pid_t server = Mount(Image());
  kill(server, SIGKILL);
  EXPECT_FALSE(ServerEnded(server));
  EXPECT_EQ(MountStateAt(MountPoint()), MountState::kDead);
  Unmount(MountPoint());
  EXPECT_EQ(MountStateAt(MountPoint()), MountState::kNotMounted);
  EXPECT_TRUE(fs::is_empty(MountPoint()));
  Mount(Image());
  EXPECT_EQ(ReadFileText(MountPoint() + "/Setup.exe"), "MZ a program that is not one");
}

TEST_F(MountedDrive, ABusyDriveIsUnmountedLazily) {
  const pid_t server = Mount(Image());
  const int file = open((MountPoint() + "/Setup.exe").c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  Unmount(MountPoint());
  EXPECT_EQ(MountStateAt(MountPoint()), MountState::kNotMounted);
  char start[2] = {};
  EXPECT_EQ(pread(file, start, 2, 0), 2);
  EXPECT_EQ(std::string(start, 2), "MZ");
  close(file);
  EXPECT_TRUE(ServerEnded(server));
}

TEST_F(MountedDrive, FailedMountsLeaveNothingMounted) {
  DiscImage image(Image());
  const auto expectMountFailure = [&](const std::string& mountPoint) {
    try {
      servers_.push_back(MountInBackground(image, mountPoint));
      ADD_FAILURE() << "mounted at " << mountPoint;
    } catch (const DriveError& error) {
      EXPECT_EQ(error.Kind(), DriveErrorKind::kMountFailed);
    }
  };
  expectMountFailure(dir_.Path("missing"));
  WriteFileBytes(dir_.Path("file"), {});
  expectMountFailure(dir_.Path("file"));
  EXPECT_EQ(MountStateAt(dir_.Path("file")), MountState::kNotMounted);
  Unmount(dir_.Path("file"));  // nothing there: nothing to do

  Mount(Image());
  expectMountFailure(MountPoint());
  EXPECT_EQ(MountStateAt(MountPoint()), MountState::kServed);
  Unmount(MountPoint());

  // Another file system is not the drive's to replace or unmount.
  if (mount("none", MountPoint().c_str(), "tmpfs", 0, nullptr) != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  EXPECT_EQ(MountStateAt(MountPoint()), MountState::kForeign);
  expectMountFailure(MountPoint());
  EXPECT_THROW(Unmount(MountPoint()), DriveError);
  EXPECT_EQ(MountStateAt(MountPoint()), MountState::kForeign);
  umount(MountPoint().c_str());
}

}  // namespace
