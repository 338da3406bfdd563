#include "drive/autoplay.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "drive/failure.h"
#include "drive/files.h"
#include "drive/locations.h"
#include "framework/platform/process.h"

namespace {

// Far more than any autorun.inf holds; a hostile disc's huge one is not read whole.
constexpr std::size_t kMaxAutorunBytes = 64 * 1024;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The root's autorun.inf in whatever case the disc spells it.
std::optional<std::string> FindAutorunFile(const std::string& root) {
  DIR* const folder = ::opendir(root.c_str());
  if (!folder) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(folder)) {
    if (Lower(entry->d_name) == "autorun.inf") {
      found = root + "/" + entry->d_name;
      break;
    }
  }
  ::closedir(folder);
  return found;
}

std::string ConfigFile() { return UserConfigFolder() + "/talvesk-drive.conf"; }

}  // namespace

std::optional<AnsiString> AutoPlayCommandLine(const std::string& autorunText, char letter) {
  std::istringstream lines(autorunText);
  std::string line;
  bool inAutorun = false;
  bool first = true;
  while (std::getline(lines, line)) {
    if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    first = false;
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      inAutorun = Lower(line) == "[autorun]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inAutorun || equals == std::string::npos) continue;
    if (Lower(Trim(line.substr(0, equals))) != "open") continue;
    std::string command = Trim(line.substr(equals + 1));
    if (command.empty()) return std::nullopt;

    // The program part: quoted, or up to the first blank.
    const bool quoted = command[0] == '"';
    const std::size_t nameStart = quoted ? 1 : 0;
    const bool absolute = command.size() > nameStart + 1 && command[nameStart + 1] == ':';
    const bool rooted =
        command.size() > nameStart && (command[nameStart] == '\\' || command[nameStart] == '/');
    std::string root = std::string(1, letter) + ":";
    if (!rooted) root += "\\";
    if (!absolute) command.insert(nameStart, root);
    return command;
  }
  return std::nullopt;
}

std::optional<AnsiString> StartAutoPlay(const std::string& mountPoint, char letter) {
  const auto file = FindAutorunFile(mountPoint);
  if (!file) return std::nullopt;
  const auto text = ReadWholeFile(*file, kMaxAutorunBytes);
  if (!text) return std::nullopt;
  const auto command = AutoPlayCommandLine(*text, letter);
  if (!command) return std::nullopt;

  // The started program inherits the working directory: the drive's root, as on Windows.
  if (::chdir(mountPoint.c_str()) != 0) ThrowSystemFailure("Cannot enter " + mountPoint);
  const unsigned started = WinExec(*command, SW_SHOWNORMAL);
  if (started <= 31) {
    throw EDriveFailure("The disc is in drive " + std::string(1, letter) +
                        ":, but its AutoPlay program could not be started: " + *command);
  }
  return command;
}

bool AutoPlayEnabled() {
  std::ifstream settings(ConfigFile());
  std::string line;
  bool enabled = true;
  while (std::getline(settings, line)) {
    const std::string setting = Lower(Trim(line));
    if (setting == "autoplay=off") enabled = false;
    if (setting == "autoplay=on") enabled = true;
  }
  return enabled;
}

void SetAutoPlayEnabled(bool enabled) {
  MakeFolders(UserConfigFolder(), 0755);
  WriteWholeFile(
      ConfigFile(),
      std::string("# talvesk-drive: start a disc's AutoPlay program after a mount (on/off)\n") +
          "autoplay=" + (enabled ? "on" : "off") + "\n");
}
