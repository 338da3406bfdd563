// Mounting in the background, telling live mounts from dead ones, and unmounting.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "drive/disc_file_system.h"
#include "drive/drive.h"
#include "drive/fuse_server.h"

extern char** environ;

namespace {

const std::string kFileSystemType = "fuse.talvesk-drive";
// How long a server may take to answer the kernel's first request, and a live one to answer a
// look at its root (answered from memory).
constexpr auto kStartTime = std::chrono::seconds(10);
constexpr auto kAnswerTime = std::chrono::seconds(3);

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool IsRoot() { return geteuid() == 0; }

bool IsExecutableOnPath(const std::string& program) {
  std::string path = getenv("PATH") != nullptr ? getenv("PATH") : "";
  // libfuse also looks in the folder fuse3 installs it to.
  path += ":/usr/bin:/bin";
  std::stringstream folders(path);
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

void RequireFuse() {
  if (access("/dev/fuse", F_OK) != 0)
    throw DriveError(DriveErrorKind::kFuseUnavailable,
                     "FUSE is not available on this machine (/dev/fuse is missing); it comes "
                     "with the Debian package fuse3.");
  if (!IsRoot() && !IsExecutableOnPath("fusermount3"))
    throw DriveError(DriveErrorKind::kFuseUnavailable,
                     "fusermount3 is not installed; it comes with the Debian package fuse3.");
}

// The mount point as /proc/self/mountinfo names it, found without looking at the mount point
// itself (a dead mount answers nothing).
std::string MountKey(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  const std::string parent = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char* resolved = realpath(parent.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string key = resolved;
  free(resolved);
  if (name.empty()) return key;
  return key == "/" ? "/" + name : key + "/" + name;
}

// mountinfo writes space, tab, newline and backslash as octal escapes.
std::string Unescaped(const std::string& field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                (field[i + 3] - '0'));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

// The type of the topmost file system mounted at key; empty when there is none.
std::string MountedType(const std::string& key) {
  std::ifstream table("/proc/self/mountinfo");
  std::string type;
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint, field;
    fields >> id >> parent >> device >> root >> mountPoint;
    if (Unescaped(mountPoint) != key) continue;
    while (fields >> field && field != "-") {
    }
    fields >> type;
  }
  return type;
}

// Whether the server answers a look at the mount point. The look happens in a child process, which
// can be killed when a hung server keeps it waiting.
bool ServerAnswers(const std::string& mountPoint) {
  const pid_t child = fork();
  if (child < 0) return true;
  if (child == 0) {
    struct stat info {};
    const bool gone = stat(mountPoint.c_str(), &info) != 0 && (errno == ENOTCONN);
    _exit(gone ? 1 : 0);
  }
  const auto deadline = std::chrono::steady_clock::now() + kAnswerTime;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs fusermount3 with the arguments; returns whether it succeeded, and what it said.
bool RunFusermount(const std::vector<std::string>& arguments, std::string& said) {
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  posix_spawn_file_actions_adddup2(&actions, output[1], 2);
  std::vector<std::string> words = {"fusermount3"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, "fusermount3", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(output[1]);
  char buffer[512];
  for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0 && said.size() < 4096;)
    said.append(buffer, static_cast<std::size_t>(n));
  close(output[0]);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  while (!said.empty() && (said.back() == '\n' || said.back() == '.')) said.pop_back();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The server keeps the FUSE device, the image's own descriptors and its ready pipe; a lock file
// or anything else the caller holds open stays the caller's.
void CloseInheritedDescriptors(const DiscFileSystem& files, int device, int ready) {
  const auto keep = [&](int fd) {
    return fd <= 2 || fd == device || fd == ready || files.IsImageDescriptor(fd);
  };
  std::vector<int> open;
  if (DIR* folder = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(folder)) {
      const int fd = atoi(entry->d_name);
      if (entry->d_name[0] != '.' && fd != dirfd(folder)) open.push_back(fd);
    }
    closedir(folder);
  } else {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    for (int fd = 0; fd < static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 16)); ++fd)
      if (fcntl(fd, F_GETFD) != -1) open.push_back(fd);
  }
  for (int fd : open)
    if (!keep(fd)) close(fd);
}

// The server process: detached from the caller's session, terminal and folders.
int RunServer(FuseSession& session, DiscFileSystem& files, int ready) noexcept {
  try {
    setsid();
    if (chdir("/") != 0) return 1;
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd) dup2(null, fd);
    if (null > 2) close(null);
    for (int signal = 1; signal < NSIG; ++signal) std::signal(signal, SIG_DFL);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    files.ReopenPrivately();
    CloseInheritedDescriptors(files, session.DeviceDescriptor(), ready);
    return session.Serve(ready);
  } catch (...) {
    return 1;
  }
}

// The server writes one byte when it serves, then closes its end: the caller returns only when
// the server holds nothing but what it keeps for good.
bool ServerReady(int ready) {
  const auto deadline = std::chrono::steady_clock::now() + kStartTime;
  std::size_t bytes = 0;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{ready, POLLIN, 0};
    const int polled = poll(&wait, 1, static_cast<int>(std::max<long>(left.count(), 0)));
    if (polled < 0 && errno == EINTR) continue;
    if (polled != 1) return false;
    char byte = 0;
    const ssize_t got = read(ready, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return bytes == 1;
    ++bytes;
  }
}

}  // namespace

pid_t MountInBackground(DiscImage& image, const std::string& mountPoint) {
  RequireFuse();
  struct stat info {};
  if (stat(mountPoint.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    throw DriveError(DriveErrorKind::kMountFailed,
                     "The mount point " + Quoted(mountPoint) + " is not a folder.");
  if (MountStateAt(mountPoint) != MountState::kNotMounted)
    throw DriveError(DriveErrorKind::kMountFailed,
                     "Something is already mounted at " + Quoted(mountPoint) + ".");

  DiscFileSystem& files = image.FileSystem();
  FuseSession session(files);
  session.Mount(mountPoint);
  const auto fail = [&](pid_t server, const std::string& why) {
    if (server > 0) {
      kill(server, SIGKILL);
      waitpid(server, nullptr, 0);
    }
    session.Unmount();
    throw DriveError(DriveErrorKind::kMountFailed, "The disc image could not be served at " +
                                                       Quoted(mountPoint) + ": " + why + ".");
  };
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) fail(0, "no pipe to the server");
  const pid_t server = fork();
  if (server == 0) {
    close(ready[0]);
    _exit(RunServer(session, files, ready[1]));
  }
  close(ready[1]);
  const bool served = server > 0 && ServerReady(ready[0]);
  close(ready[0]);
  if (server < 0) fail(0, "the server process could not be started");
  if (!served) fail(server, "the server did not start");
  return server;
}

MountState MountStateAt(const std::string& mountPoint) {
  const std::string type = MountedType(MountKey(mountPoint));
  if (type.empty()) return MountState::kNotMounted;
  if (type != kFileSystemType) return MountState::kForeign;
  return ServerAnswers(mountPoint) ? MountState::kServed : MountState::kDead;
}

void Unmount(const std::string& mountPoint) {
  const MountState state = MountStateAt(mountPoint);
  if (state == MountState::kNotMounted) return;
  if (state == MountState::kForeign)
    throw DriveError(DriveErrorKind::kMountFailed,
                     Quoted(mountPoint) +
                         " holds a file system that is not a disc image's; it is "
                         "left alone.");
  const std::string key = MountKey(mountPoint);
  std::string reason;
  if (IsRoot()) {
    // A busy file system is detached now and goes when its last user lets go.
    if (umount2(key.c_str(), UMOUNT_NOFOLLOW) != 0 &&
        umount2(key.c_str(), MNT_DETACH | UMOUNT_NOFOLLOW) != 0)
      reason = std::strerror(errno);
  } else if (!RunFusermount({"-u", "--", key}, reason)) {
    reason.clear();
    RunFusermount({"-u", "-z", "--", key}, reason);
  }
  if (MountedType(key) == kFileSystemType)
    throw DriveError(DriveErrorKind::kMountFailed, "The disc image at " + Quoted(mountPoint) +
                                                       " could not be unmounted" +
                                                       (reason.empty() ? "" : ": " + reason) + ".");
}
