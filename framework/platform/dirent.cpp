#include "framework/platform/dirent.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "framework/platform/drives.h"
#include "framework/platform/paths.h"

namespace rtl {

struct DIR {
  ::DIR* host = nullptr;
  int pseudoEntriesLeft = 0;  // "." and "..", handed out before the host's entries
  dirent entry{};
};

namespace {

bool IsCanonicalDriveRoot(const std::string& hostFolder) {
  const std::unique_ptr<char, decltype(&std::free)> canonical(realpath(hostFolder.c_str(), nullptr),
                                                              &std::free);
  return canonical && IsDriveHostRoot(canonical.get());
}

// On Windows a mounted volume, a disc above all, is a drive of its own, whether or not Wine has a
// letter for it. A mount's root lies on another device than its parent; "/" is its own parent.
bool IsMountRoot(::DIR* host) {
  struct stat folder {};
  struct stat parent {};
  if (::fstat(::dirfd(host), &folder) != 0 || ::fstatat(::dirfd(host), "..", &parent, 0) != 0) {
    return false;
  }
  return folder.st_dev != parent.st_dev || folder.st_ino == parent.st_ino;
}

dirent* Fill(DIR* dir, std::string_view name) {
  // Host names are at most NAME_MAX (255) bytes, so they always fit.
  const std::size_t length = std::min(name.size(), sizeof(dir->entry.d_name) - 1);
  std::memcpy(dir->entry.d_name, name.data(), length);
  dir->entry.d_name[length] = '\0';
  return &dir->entry;
}

}  // namespace

DIR* opendir(const char* name) {
  if (!name) return nullptr;
  const std::string hostFolder = *name ? HostPathFromWindows(name) : std::string();
  if (hostFolder.empty()) return nullptr;
  ::DIR* host = ::opendir(hostFolder.c_str());
  if (!host) return nullptr;
  auto* dir = new DIR;
  dir->host = host;
  dir->pseudoEntriesLeft = IsMountRoot(host) || IsCanonicalDriveRoot(hostFolder) ? 0 : 2;
  return dir;
}

dirent* readdir(DIR* dir) {
  if (!dir) return nullptr;
  if (dir->pseudoEntriesLeft > 0) {
    return Fill(dir, dir->pseudoEntriesLeft-- == 2 ? "." : "..");
  }
  while (const ::dirent* entry = ::readdir(dir->host)) {
    const std::string_view entryName = entry->d_name;
    if (entryName == "." || entryName == "..") continue;  // already handed out, or hidden
    return Fill(dir, entryName);
  }
  return nullptr;
}

int closedir(DIR* dir) {
  if (!dir) return -1;
  ::closedir(dir->host);
  delete dir;
  return 0;
}

}  // namespace rtl
