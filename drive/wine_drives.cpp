#include "drive/wine_drives.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "drive/child_process.h"
#include "drive/failure.h"
#include "drive/files.h"
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

bool LeadsTo(const TDriveLocations& where, char letter, const std::string& folder) {
  return LinkText(LinkPath(where, letter)) == folder;
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
  WriteWholeFile(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
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
  throw EDriveFailure("Wine could not make drive " + std::string(1, letter) + ": a CD-ROM drive (" +
                      result.Reason() + ")");
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
