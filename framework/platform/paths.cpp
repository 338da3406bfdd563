#include "framework/platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "framework/platform/drives.h"
#include "framework/platform/wildcard.h"

namespace {

struct HostDirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using HostDir = std::unique_ptr<DIR, HostDirCloser>;

bool IsWindowsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool HasDrivePrefix(std::string_view path) {
  return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':';
}
bool IsHostPath(std::string_view path) { return !path.empty() && path[0] == '/'; }

std::string JoinHost(const std::string& folder, std::string_view name) {
  std::string joined = folder;
  if (joined.empty() || joined.back() != '/') joined += '/';
  joined += name;
  return joined;
}

std::string BackslashesToSlashes(std::string text) {
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

std::optional<std::string> CurrentHostFolder() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

// The entry of `folder` equal to `name` when case is ignored; the first in directory order wins.
std::optional<std::string> FindNameIgnoringCase(const std::string& folder, std::string_view name) {
  const HostDir dir(::opendir(folder.c_str()));
  if (!dir) return std::nullopt;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (EqualNamesIgnoringCase(entry->d_name, name)) return std::string(entry->d_name);
  }
  return std::nullopt;
}

// Walks the names below a drive's host root, taking the exact name when it exists and otherwise
// the first name that differs only in case. Once a name is missing, the rest is appended as
// given: the caller then gets an honest "not found" from the system.
std::string ResolveBelow(const std::string& hostRoot, const std::vector<std::string_view>& names) {
  std::string current = hostRoot;
  bool resolving = true;
  for (const std::string_view name : names) {
    std::string candidate = JoinHost(current, name);
    if (resolving) {
      struct stat info {};
      if (::lstat(candidate.c_str(), &info) != 0) {
        if (auto found = FindNameIgnoringCase(current, name)) {
          candidate = JoinHost(current, *found);
        } else {
          resolving = false;
        }
      }
    }
    current = std::move(candidate);
  }
  return current;
}

// Splits a drive-absolute path after "D:" into its names, dropping "." and applying ".." by
// name; ".." at the root stays at the root, as on Windows.
std::vector<std::string_view> NormalisedNames(std::string_view rest) {
  std::vector<std::string_view> names;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !IsWindowsSeparator(rest[end])) ++end;
    const std::string_view name = rest.substr(start, end - start);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  return names;
}

std::string DrivePrefixOfCurrentFolder() {
  const auto cwd = CurrentHostFolder();
  if (!cwd) return {};
  const std::string windowsCwd = WindowsPathFromHost(*cwd);
  return HasDrivePrefix(windowsCwd) ? windowsCwd : std::string();
}

std::string_view::size_type LastSeparator(std::string_view path) {
  return IsHostPath(path) ? path.rfind('/') : path.find_last_of("\\/:");
}

}  // namespace

AnsiString HostPathFromWindows(const AnsiString& path) {
  if (path.empty() || IsHostPath(path)) return path;
  if (path.size() >= 2 && IsWindowsSeparator(path[0]) && IsWindowsSeparator(path[1])) {
    return {};  // UNC and device paths have no host counterpart
  }

  // Bring every absolute form to "D:\names".
  std::string absolute;
  if (HasDrivePrefix(path)) {
    const bool driveRelative = path.size() == 2 || !IsWindowsSeparator(path[2]);
    absolute = path;
    if (driveRelative) {
      const std::string cwd = DrivePrefixOfCurrentFolder();
      const bool cwdOnThatDrive =
          !cwd.empty() && EqualNamesIgnoringCase(cwd.substr(0, 1), path.substr(0, 1));
      absolute = (cwdOnThatDrive ? cwd : path.substr(0, 2)) + "\\" + path.substr(2);
    }
  } else if (IsWindowsSeparator(path[0])) {
    const std::string cwd = DrivePrefixOfCurrentFolder();
    if (cwd.empty()) return {};
    absolute = cwd.substr(0, 2) + path;
  } else {
    return BackslashesToSlashes(path);
  }

  const auto hostRoot = DriveHostRoot(absolute[0]);
  if (!hostRoot) return {};
  std::string host = ResolveBelow(*hostRoot, NormalisedNames(std::string_view(absolute).substr(2)));
  if (IsWindowsSeparator(absolute.back()) && host.back() != '/') host += '/';
  return host;
}

AnsiString WindowsPathFromHost(const AnsiString& hostPath) {
  if (!IsHostPath(hostPath)) {
    AnsiString windows = hostPath;
    for (char& c : windows) {
      if (c == '/') c = '\\';
    }
    return windows;
  }

  // One '/' between names, none at the end, no "." names: the form drive roots are kept in.
  std::string canonical;
  std::size_t start = 0;
  while (start <= hostPath.size()) {
    std::size_t end = hostPath.find('/', start);
    if (end == std::string::npos) end = hostPath.size();
    const std::string_view name = std::string_view(hostPath).substr(start, end - start);
    if (!name.empty() && name != ".") {
      canonical += '/';
      canonical += name;
    }
    start = end + 1;
  }
  if (canonical.empty()) canonical = "/";

  const DriveMapping* best = nullptr;
  const std::vector<DriveMapping> drives = ReadDriveMappings();
  for (const DriveMapping& drive : drives) {
    const std::string& root = drive.hostRoot;
    const bool covers =
        root == "/" || canonical == root ||
        (canonical.size() > root.size() && canonical.compare(0, root.size(), root) == 0 &&
         canonical[root.size()] == '/');
    if (covers && (!best || root.size() > best->hostRoot.size())) best = &drive;
  }
  if (!best) return hostPath;

  std::string rest = canonical.substr(best->hostRoot == "/" ? 1 : best->hostRoot.size());
  if (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  return std::string(1, best->letter) + ":\\" + rest;
}

AnsiString ExtractFileDir(const AnsiString& path) {
  const auto separator = LastSeparator(path);
  if (separator == std::string::npos) return {};
  if (path[separator] == ':') return path.substr(0, separator + 1);
  // Drop the run of separators, but keep one where the folder would otherwise lose its meaning:
  // at a drive's root ("D:\") or at the root itself ("\", "/").
  std::size_t end = separator;
  const auto isSeparator = [&](char c) {
    return IsHostPath(path) ? c == '/' : IsWindowsSeparator(c);
  };
  while (end > 0 && isSeparator(path[end - 1])) --end;
  if (end == 0 || path[end - 1] == ':') return path.substr(0, end + 1);
  return path.substr(0, end);
}

AnsiString ExtractFileExt(const AnsiString& path) {
  const auto dot = path.rfind('.');
  if (dot == std::string::npos) return {};
  const auto separator = LastSeparator(path);
  if (separator != std::string::npos && dot < separator) return {};
  return path.substr(dot);
}

bool FileExists(const AnsiString& pathOrPattern) {
  const auto separator = LastSeparator(pathOrPattern);
  const std::string folder =
      separator == std::string::npos ? std::string() : pathOrPattern.substr(0, separator + 1);
  const std::string pattern =
      separator == std::string::npos ? pathOrPattern : pathOrPattern.substr(separator + 1);
  if (pattern.empty() || pattern == "." || pattern == "..") return false;

  const std::string hostFolder = folder.empty() ? std::string(".") : HostPathFromWindows(folder);
  if (hostFolder.empty()) return false;

  const auto isFile = [&](std::string_view name) {
    struct stat info {};
    return ::stat(JoinHost(hostFolder, name).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
  };
  if (!HasWildcard(pattern) && isFile(pattern)) return true;

  const HostDir dir(::opendir(hostFolder.c_str()));
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (MatchesWildcard(name, pattern) && isFile(name)) return true;
  }
  return false;
}
