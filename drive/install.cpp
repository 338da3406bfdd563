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
#include "drive/files.h"
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
  // What counts is the prefix Wine leaves, whatever its tool's status says.
  if (!HasDosDevices(prefix)) {
    throw EDriveFailure("Wine could not make its prefix at " + prefix +
                        " (wineboot: " + result.Reason() + ")");
  }
}

std::string ThisProgram() {
  const std::string self = LinkText("/proc/self/exe");
  if (self.empty()) ThrowSystemFailure("Cannot find this program's own file");
  return self;
}

// The copy is replaced by rename, so a running copy (a file system's server) keeps its old file.
void CopyProgram(const std::string& source, const std::string& target) {
  // The program is a few MB; a bound keeps a strange /proc/self/exe from costing more.
  constexpr std::size_t kMaxProgramBytes = 256 << 20;
  const auto bytes = ReadWholeFile(source, kMaxProgramBytes);
  if (!bytes || bytes->empty()) ThrowSystemFailure("Cannot read " + source);
  if (ReadWholeFile(target, kMaxProgramBytes) != bytes) WriteWholeFile(target, *bytes);
  if (::chmod(target.c_str(), 0755) != 0) ThrowSystemFailure("Cannot make " + target + " runnable");
}

bool IsWindowsProgram(const std::string& path) { return ReadWholeFile(path, 2) == "MZ"; }

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
  if (present && S_ISLNK(info.st_mode) && LinkText(daemon) == installed) {
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
