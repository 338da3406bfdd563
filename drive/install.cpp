#include "drive/install.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "drive/child_process.h"
#include "drive/failure.h"
#include "drive/locations.h"
#include "drive/wine_drives.h"
#include "framework/platform/drives.h"
#include "framework/platform/paths.h"

namespace {

constexpr const char* kDaemonPath = "C:\\Program Files\\DAEMON Tools\\daemon.exe";
// A new prefix takes Wine a while to populate (and longer on a slow disc).
constexpr int kWinebootTimeoutSeconds = 600;

bool HasDosDevices(const std::string& prefix) {
  struct stat info {};
  return ::stat((prefix + "/dosdevices/c:").c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MakePrefixWhenMissing() {
  const std::string prefix = WinePrefixFolder();
  if (prefix.empty()) throw EDriveFailure("HOME is not set, so there is no Wine prefix to use");
  if (HasDosDevices(prefix)) return;
  RequireWine();
  const TChildResult result =
      RunToEnd({"wineboot", "-i"}, {"WINEPREFIX=" + prefix}, kWinebootTimeoutSeconds);
  if (result.exitStatus != 0 || !HasDosDevices(prefix)) {
    throw EDriveFailure("Wine could not make its prefix at " + prefix);
  }
}

std::string ReadLink(const std::string& path) {
  char target[4096];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
  return length > 0 && static_cast<std::size_t>(length) < sizeof target
             ? std::string(target, static_cast<std::size_t>(length))
             : std::string();
}

std::string ThisProgram() {
  const std::string self = ReadLink("/proc/self/exe");
  if (self.empty()) ThrowSystemFailure("Cannot find this program's own file");
  return self;
}

// Both files' bytes, or "" for one that cannot be read.
std::string FileBytes(const std::string& path) {
  std::string bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    char buffer[65536];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0) {
      bytes.append(buffer, static_cast<std::size_t>(count));
    }
    if (count < 0) bytes.clear();
  }
  ::close(fd);
  return bytes;
}

// The copy is replaced by rename, so a running copy (a file system's server) keeps its old file.
void CopyProgram(const std::string& source, const std::string& target) {
  const std::string bytes = FileBytes(source);
  if (bytes.empty()) ThrowSystemFailure("Cannot read " + source);
  if (FileBytes(target) == bytes) return;
  const std::string temporary = target + ".new";
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0755);
  if (fd < 0) ThrowSystemFailure("Cannot write " + temporary);
  std::size_t done = 0;
  int failure = 0;
  while (done < bytes.size() && failure == 0) {
    const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0)
      failure = count < 0 ? errno : ENOSPC;
    else
      done += static_cast<std::size_t>(count);
  }
  if (failure == 0 && ::fsync(fd) != 0) failure = errno;
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(temporary.c_str());
    errno = failure;
    ThrowSystemFailure("Cannot write " + target);
  }
}

bool IsWindowsProgram(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  char magic[2] = {};
  const bool mz = ::read(fd, magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
  ::close(fd);
  return mz;
}

// Puts a link at `path` to `target` by rename, so that the path is never missing on the way.
void PlaceLink(const std::string& target, const std::string& path) {
  const std::string temporary = path + ".talvesk-new";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0) ThrowSystemFailure("Cannot write " + path);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int failure = errno;
    ::unlink(temporary.c_str());
    errno = failure;
    ThrowSystemFailure("Cannot write " + path);
  }
}

}  // namespace

std::string InstalledProgramPath() { return UserDataFolder() + "/talvesk-drive"; }

std::string InstallDrive(bool force) {
  MakePrefixWhenMissing();
  const std::string installed = InstalledProgramPath();
  MakeFolders(UserDataFolder(), 0755);
  CopyProgram(ThisProgram(), installed);

  const std::string daemon = HostPathFromWindows(kDaemonPath);
  if (daemon.empty()) {
    throw EDriveFailure("Drive C: of the Wine prefix " + WinePrefixFolder() + " is not mapped");
  }
  MakeFolders(ExtractFileDir(daemon), 0755);
  struct stat info {};
  const bool present = ::lstat(daemon.c_str(), &info) == 0;
  if (present && S_ISLNK(info.st_mode) && ReadLink(daemon) == installed) {
    return "talvesk-drive is installed: " + std::string(kDaemonPath) + " -> " + installed;
  }
  if (present && !S_ISLNK(info.st_mode) && IsWindowsProgram(daemon)) {
    if (!force) {
      throw EDriveFailure(std::string("A Windows program is already installed at ") + kDaemonPath +
                          "; talvesk-drive --install --force replaces it (keeping it as "
                          "daemon.exe.orig)");
    }
    const std::string kept = daemon + ".orig";
    if (::rename(daemon.c_str(), kept.c_str()) != 0) ThrowSystemFailure("Cannot keep " + daemon);
  }
  PlaceLink(installed, daemon);
  return "talvesk-drive installed: " + std::string(kDaemonPath) + " -> " + installed;
}
