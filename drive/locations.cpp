#include "drive/locations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "drive/failure.h"
#include "framework/platform/drives.h"

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (home.empty()) throw EDriveFailure("HOME is not set, so the drive's folders cannot be found");
  return home;
}

// XDG base folders must be absolute; a relative value is to be ignored.
std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
  const std::string value = Environment(variable);
  if (!value.empty() && value.front() == '/') return value;
  return HomeFolder() + "/" + fallbackBelowHome;
}

// Refuses a folder someone else could have prepared: mount points and the lock live there.
void RequirePrivateFolder(const std::string& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) ThrowSystemFailure("Cannot use the folder " + folder);
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 022) != 0) {
    throw EDriveFailure("The folder " + folder +
                        " is not a private folder of this user; remove it and try again");
  }
}

}  // namespace

std::string ShortHash(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3u;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

void MakeFolders(const std::string& folder, unsigned mode) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
      ThrowSystemFailure("Cannot make the folder " + part);
    }
    if (slash == std::string::npos) return;
  }
}

std::string UserRuntimeFolder() {
  const std::string runtime = Environment("XDG_RUNTIME_DIR");
  if (!runtime.empty() && runtime.front() == '/') return runtime;
  const std::string fallback = "/tmp/talvesk-drive-" + std::to_string(::getuid());
  if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
    ThrowSystemFailure("Cannot make the folder " + fallback);
  }
  RequirePrivateFolder(fallback);
  return fallback;
}

std::string UserDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share") + "/talvesk"; }
std::string UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config") + "/talvesk"; }

TDriveLocations LocateDriveFolders() {
  const std::string prefix = WinePrefixFolder();
  const std::unique_ptr<char, decltype(&std::free)> canonical(
      prefix.empty() ? nullptr : ::realpath(prefix.c_str(), nullptr), &std::free);
  struct stat info {};
  if (!canonical || ::stat((std::string(canonical.get()) + "/dosdevices").c_str(), &info) != 0) {
    throw EDriveFailure("There is no Wine prefix at " + (prefix.empty() ? "~/.wine" : prefix) +
                        ": run talvesk-drive --install (or any Windows program with wine) once");
  }
  TDriveLocations locations;
  locations.prefix = canonical.get();
  const std::string base = UserRuntimeFolder() + "/talvesk-drive";
  if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
    ThrowSystemFailure("Cannot make the folder " + base);
  }
  RequirePrivateFolder(base);
  locations.runtimeFolder = base + "/" + ShortHash(locations.prefix);
  if (::mkdir(locations.runtimeFolder.c_str(), 0700) != 0 && errno != EEXIST) {
    ThrowSystemFailure("Cannot make the folder " + locations.runtimeFolder);
  }
  RequirePrivateFolder(locations.runtimeFolder);
  return locations;
}

std::string TDriveLocations::MountPoint(int device) const {
  return runtimeFolder + "/device" + std::to_string(device);
}
std::string TDriveLocations::DeviceRecord(int device) const {
  return runtimeFolder + "/device" + std::to_string(device) + ".record";
}
std::string TDriveLocations::LockFile() const { return runtimeFolder + "/lock"; }
