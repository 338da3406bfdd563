#include "drive/command_line.h"

#include <algorithm>
#include <cctype>

#include "drive/failure.h"

namespace {

// Windows virtual drives number their devices from 0; a handful is plenty, and a bound keeps
// the letters and mount points few.
constexpr int kMaxDevice = 15;

int ParseDevice(const std::string& text) {
  if (text.empty() || text.size() > 2 ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    throw EDriveUsage("the device must be a number from 0 to " + std::to_string(kMaxDevice) +
                      ", not \"" + text + "\"");
  }
  const int device = std::stoi(text);
  if (device > kMaxDevice) {
    throw EDriveUsage("the device must be a number from 0 to " + std::to_string(kMaxDevice));
  }
  return device;
}

// Option names compare without case and with one or two leading dashes, as Windows tools take
// "-mount" and "/mount" alike; "--install" is the Linux spelling.
std::string OptionName(const std::string& argument) {
  std::size_t start = 0;
  while (start < argument.size() && start < 2 && argument[start] == '-') ++start;
  if (start == 0 && !argument.empty() && argument[0] == '/') start = 1;
  if (start == 0) return "";
  std::string name = argument.substr(start);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

TDriveCommand ParseDriveCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) throw EDriveUsage("no command given");
  const std::string name = OptionName(arguments[0]);
  const std::size_t operands = arguments.size() - 1;
  TDriveCommand command;
  if (name == "mount") {
    if (operands != 1) throw EDriveUsage("-mount takes one operand: N,PATH");
    const std::string& operand = arguments[1];
    const std::size_t comma = operand.find(',');
    if (comma == std::string::npos) throw EDriveUsage("-mount takes N,PATH: the comma is missing");
    command.kind = TDriveCommand::Kind::Mount;
    command.device = ParseDevice(operand.substr(0, comma));
    command.imagePath = operand.substr(comma + 1);
    if (command.imagePath.empty()) throw EDriveUsage("-mount N,PATH: the image's path is empty");
  } else if (name == "unmount") {
    if (operands != 1) throw EDriveUsage("-unmount takes one operand: N");
    command.kind = TDriveCommand::Kind::Unmount;
    command.device = ParseDevice(arguments[1]);
  } else if (name == "install") {
    command.kind = TDriveCommand::Kind::Install;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      if (OptionName(arguments[i]) != "force") {
        throw EDriveUsage("--install takes only --force, not \"" + arguments[i] + "\"");
      }
      command.force = true;
    }
  } else if (name == "autoplay") {
    if (operands != 1 || (arguments[1] != "on" && arguments[1] != "off")) {
      throw EDriveUsage("--autoplay takes on or off");
    }
    command.kind = TDriveCommand::Kind::AutoPlay;
    command.autoPlay = arguments[1] == "on";
  } else if ((name == "help" || name == "h" || name == "?") && operands == 0) {
    command.kind = TDriveCommand::Kind::Help;
  } else if (name == "version" && operands == 0) {
    command.kind = TDriveCommand::Kind::Version;
  } else {
    throw EDriveUsage("unknown command \"" + arguments[0] + "\"");
  }
  return command;
}

const char* DriveUsageText() {
  return "Usage: talvesk-drive -mount N,PATH      mount a CD image on device N as a Wine drive\n"
         "       talvesk-drive -unmount N         unmount device N and remove its drive\n"
         "       talvesk-drive --install [--force]\n"
         "                                        make the launcher's command reach this program\n"
         "       talvesk-drive --autoplay on|off  start a disc's autorun.inf program after a "
         "mount\n"
         "       talvesk-drive --help | --version\n"
         "\n"
         "PATH is a Windows path of the Wine prefix ($WINEPREFIX, default ~/.wine) or a host\n"
         "path; the image is an ISO 9660 image or a raw CD image (2352-byte sectors), whatever "
         "its\n"
         "name. The image is mounted read-only through FUSE and becomes a CD-ROM drive from D: on\n"
         "(the device keeps its letter on later mounts). --install links\n"
         "C:\\Program Files\\DAEMON Tools\\daemon.exe in the prefix to a copy of this program in\n"
         "$XDG_DATA_HOME/talvesk (default ~/.local/share/talvesk); it does not replace a Windows\n"
         "program there unless --force is given.\n"
         "\n"
         "Exit status: 0 on success, 1 on failure (also shown in a message box when a display\n"
         "is available), 2 for a usage error.\n";
}
