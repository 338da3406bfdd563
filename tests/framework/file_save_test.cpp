// Saving where the user is not the file's owner, may not write the folder, or dies mid-save.
// Other users are played by child processes that take test-only user and group numbers: no account
// needs to exist for a process to run as one. Those tests need root, as CI runs them.
#include "framework/classes/file_save.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "framework/system/exceptions.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kUser = 4201, kOtherUser = 4202;
constexpr gid_t kUserGroup = 4301, kSharedGroup = 4302;  // the user belongs to both

void WriteText(TStream& file, const std::string& text) {
  file.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

// Runs body in a child process and returns how the child ended: its exit status, or 128 plus
// the signal that ended it.
int InChild(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    int status = 99;
    try {
      status = body();
    } catch (...) {
    }
    ::_exit(status);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// What a save of text to path by the test user, in a child process, ends with: "saved" or the
// class of its exception. sizeLimit stands for a disk with that much room.
std::string SaveAsUser(const fs::path& path, const std::string& text,
                       rlim_t sizeLimit = RLIM_INFINITY) {
  const int status = InChild([&] {
    const gid_t groups[] = {kUserGroup, kSharedGroup};
    if (::setgroups(2, groups) != 0 || ::setgid(kUserGroup) != 0 || ::setuid(kUser) != 0) {
      return 10;
    }
    const rlimit limit{sizeLimit, sizeLimit};
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 11;
    try {
      SaveFileReplacing(path.string(), [&](TStream& file) { WriteText(file, text); });
    } catch (const EFOpenError&) {
      return 1;
    } catch (const EWriteError&) {
      return 2;
    }
    return 0;
  });
  switch (status) {
    case 0:
      return "saved";
    case 1:
      return "EFOpenError";
    case 2:
      return "EWriteError";
    default:
      return "child ended with " + std::to_string(status);
  }
}

void Own(const fs::path& path, uid_t user, gid_t group, mode_t mode) {
  ASSERT_EQ(::chown(path.c_str(), user, group), 0) << std::strerror(errno);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << std::strerror(errno);
}

struct stat StatOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

// A save keeps the file's owner, group and permission bits. Where the new file cannot be given
// them, or the folder takes no new file, the file is overwritten in place, once its new size is
// reserved; a file the user may not write is refused.
TEST(FileSave, KeepsOwnerAndGroupAndWritesInPlaceWhereAReplacementCannotKeepThem) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to save as other users";
  const std::string newText(4096, 'n');
  const struct {
    const char* name;
    uid_t folderOwner;
    gid_t folderGroup;
    mode_t folderMode;
    uid_t fileOwner;
    gid_t fileGroup;
    mode_t fileMode;
    rlim_t sizeLimit;
    const char* outcome;
    bool replaced;  // by a new file, rather than overwritten in place
  } cases[] = {
      {"a shared group's file, written by a member", 0, kSharedGroup, 0770, 0, kSharedGroup, 0660,
       RLIM_INFINITY, "saved", false},
      {"the user's file in a folder only root may write", 0, 0, 0755, kUser, kUserGroup, 0644,
       RLIM_INFINITY, "saved", false},
      {"another user's writable file in a sticky folder", 0, 0, 01777, kOtherUser, kOtherUser, 0666,
       RLIM_INFINITY, "saved", false},
      {"the user's file of a group the user belongs to", kUser, kUserGroup, 0755, kUser,
       kSharedGroup, 0640, RLIM_INFINITY, "saved", true},
      {"a file the user may not write", 0, kSharedGroup, 0770, 0, 0, 0644, RLIM_INFINITY,
       "EFOpenError", false},
      {"in place, on a disk with too little room", 0, 0, 0755, kUser, kUserGroup, 0644, 2048,
       "EWriteError", false},
  };
  TempDir dir;
  fs::permissions(dir.Root(), fs::perms(0755));
  int folders = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = dir.Path(std::to_string(++folders));
    const fs::path file = folder / "cover.jpg";
    fs::create_directory(folder);
    const std::string oldText = "old bytes";
    WriteFileBytes(file, Bytes(oldText.begin(), oldText.end()));
    Own(file, c.fileOwner, c.fileGroup, c.fileMode);
    Own(folder, c.folderOwner, c.folderGroup, c.folderMode);
    const struct stat before = StatOf(file);

    EXPECT_EQ(SaveAsUser(file, newText, c.sizeLimit), c.outcome);
    const struct stat after = StatOf(file);
    const std::string text = ReadFileText(file);
    EXPECT_EQ(text == newText ? "new" : (text == oldText ? "old" : "damaged"),
              std::string(c.outcome) == "saved" ? "new" : "old");
    EXPECT_EQ(after.st_uid, c.fileOwner);
    EXPECT_EQ(after.st_gid, c.fileGroup);
    EXPECT_EQ(after.st_mode & 07777, c.fileMode);
    EXPECT_EQ(after.st_ino != before.st_ino, c.replaced);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1) << "no temporary left";
  }
}

// The new file has no name until it is complete, so a save killed halfway leaves the old file and
// nothing else.
TEST(FileSave, AProcessKilledWhileSavingLeavesNothingBehind) {
  TempDir dir;
  const int probe = ::open(dir.Root().c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe < 0) GTEST_SKIP() << "the file system has no unnamed files: " << std::strerror(errno);
  ::close(probe);
  const fs::path file = dir.Path("cover.jpg");
  WriteFileBytes(file, Bytes{'o', 'l', 'd'});
  const int ended = InChild([&] {
    SaveFileReplacing(file.string(), [](TStream& stream) {
      WriteText(stream, std::string(1 << 20, 'n'));
      std::raise(SIGKILL);
    });
    return 0;
  });
  EXPECT_EQ(ended, 128 + SIGKILL);
  EXPECT_EQ(ReadFileText(file), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Root()), {}), 1);
}

}  // namespace
