#include "framework/platform/drives.h"

#include <cstdlib>
#include <memory>

namespace {

// Links may be relative (c: -> ../drive_c) or chained; the canonical target is what host paths
// are compared against, so resolve fully. A dangling link maps nothing.
std::optional<std::string> CanonicalTarget(const std::string& link) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(link.c_str(), nullptr),
                                                             &std::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string WinePrefixFolder() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.wine";
  return {};
}

std::vector<DriveMapping> ReadDriveMappings() {
  std::vector<DriveMapping> drives;
  const std::string prefix = WinePrefixFolder();
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    std::optional<std::string> root;
    if (!prefix.empty()) root = CanonicalTarget(prefix + "/dosdevices/" + letter + ":");
    if (!root && letter == 'z') root = "/";
    if (root) drives.push_back({ToUpper(letter), *root});
  }
  return drives;
}

std::optional<std::string> DriveHostRoot(char letter) {
  const char wanted = ToUpper(letter);
  for (const DriveMapping& drive : ReadDriveMappings()) {
    if (drive.letter == wanted) return drive.hostRoot;
  }
  return std::nullopt;
}

bool IsDriveHostRoot(const std::string& canonicalHostFolder) {
  for (const DriveMapping& drive : ReadDriveMappings()) {
    if (drive.hostRoot == canonicalHostFolder) return true;
  }
  return false;
}
