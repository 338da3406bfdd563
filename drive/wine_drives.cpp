#include "drive/wine_drives.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "drive/child_process.h"
#include "drive/failure.h"
#include "drive/wine_helper.h"

namespace {

// Wine may update the prefix first after an upgrade, which takes a while.
constexpr int kWineTimeoutSeconds = 180;

std::string LinkPath(const TDriveLocations& where, char letter, const char* suffix = ":") {
  return where.prefix + "/dosdevices/" + static_cast<char>(letter - 'A' + 'a') + suffix;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string LinkTarget(const std::string& link) {
  char target[4096];
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
  return length > 0 && static_cast<std::size_t>(length) < sizeof target
             ? std::string(target, static_cast<std::size_t>(length))
             : std::string();
}

bool LeadsTo(const TDriveLocations& where, char letter, const std::string& folder) {
  return LinkTarget(LinkPath(where, letter)) == folder;
}

// A letter is taken by any drive link or device link, even a dangling one: a drive whose medium
// is away is still that drive.
bool IsFree(const TDriveLocations& where, char letter) {
  return !Exists(LinkPath(where, letter)) && !Exists(LinkPath(where, letter, "::"));
}

// The helper is compiled into this program and written beside the mount points when missing.
std::string HelperPath(const TDriveLocations& where) {
  const auto bytes = WineDriveHelperBytes();
  const std::string path = where.runtimeFolder + "/talvesk-drive-wine-" +
                           ShortHash({reinterpret_cast<const char*>(bytes.data()), bytes.size()}) +
                           ".exe";
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && static_cast<std::size_t>(info.st_size) == bytes.size()) {
    return path;  // the name says the content; the size catches a write that was cut short
  }
  const std::string temporary = path + ".new";
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0700);
  if (fd < 0) ThrowSystemFailure("Cannot write " + temporary);
  const ssize_t count = ::write(fd, bytes.data(), bytes.size());
  int failure = count == static_cast<ssize_t>(bytes.size()) ? 0 : (count < 0 ? errno : ENOSPC);
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(temporary.c_str());
    errno = failure;
    ThrowSystemFailure("Cannot write " + path);
  }
  return path;
}

TChildResult RunHelper(const TDriveLocations& where, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{"wine", HelperPath(where)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment{"WINEPREFIX=" + where.prefix};
  // Wine's diagnostics are noise here; a caller who asks for them keeps them.
  if (std::getenv("WINEDEBUG") == nullptr) environment.push_back("WINEDEBUG=-all");
  return RunToEnd(argv, environment, kWineTimeoutSeconds);
}

std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

}  // namespace

void RequireWine() {
  if (FindProgramOnPath("wine").empty()) {
    throw EDriveFailure(
        "Wine is not installed. Install Debian's package wine (sudo apt install wine) and try "
        "again");
  }
}

char LetterOfDevice(const TDriveLocations& where, int device) {
  for (char letter = 'D'; letter <= 'Z'; ++letter) {
    if (LeadsTo(where, letter, where.MountPoint(device))) return letter;
  }
  return 0;
}

char ChooseDriveLetter(const TDriveLocations& where, int device, char remembered) {
  const std::string folder = where.MountPoint(device);
  if (remembered >= 'D' && remembered <= 'Z' &&
      (IsFree(where, remembered) || LeadsTo(where, remembered, folder))) {
    return remembered;
  }
  if (const char own = LetterOfDevice(where, device)) return own;
  for (char letter = 'D'; letter <= 'Z'; ++letter) {
    if (IsFree(where, letter)) return letter;
  }
  throw EDriveFailure("No drive letter is free in the Wine prefix " + where.prefix +
                      ": D: to Z: are all in use. Remove a drive with winecfg and try again");
}

void DefineCdromDrive(const TDriveLocations& where, char letter, const std::string& folder) {
  const TChildResult result = RunHelper(where, {"cdrom", std::string(1, letter), folder});
  if (result.exitStatus == 0 && LeadsTo(where, letter, folder)) return;
  std::string reason = LastLine(result.output);
  if (!result.started) reason = "wine could not be started";
  if (result.started && result.exitStatus < 0) reason = "Wine did not answer in time";
  throw EDriveFailure("Wine could not make drive " + std::string(1, letter) + ": a CD-ROM drive" +
                      (reason.empty() ? std::string() : " (" + reason + ")"));
}

void RemoveDrive(const TDriveLocations& where, char letter, const std::string& folder) {
  if (!FindProgramOnPath("wine").empty()) {
    RunHelper(where, {"remove", std::string(1, letter)});
  }
  // Whatever Wine did, a link of ours must not stay behind to dangle.
  if (LeadsTo(where, letter, folder) && ::unlink(LinkPath(where, letter).c_str()) != 0 &&
      errno != ENOENT) {
    ThrowSystemFailure("Cannot remove drive " + std::string(1, letter) + ":");
  }
}
