#include "framework/platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "framework/platform/paths.h"

extern char** environ;

namespace {

constexpr unsigned kStarted = 33;
constexpr unsigned kOutOfResources = 0;
constexpr unsigned kFileNotFound = 2;
constexpr unsigned kBadFormat = 11;

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> FindOnPath(const std::string& name) {
  const char* pathVariable = std::getenv("PATH");
  const std::string folders = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end == start ? "." : folders.substr(start, end - start);
    const std::string candidate = folder + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// The host file a program name stands for: a path is mapped; a bare name is looked for in the
// current folder and then on PATH. As on Windows, ".exe" is tried when the name has none.
std::optional<std::string> LocateProgram(const AnsiString& program) {
  const bool hasFolder = program.find_first_of("\\/:") != AnsiString::npos;
  std::vector<AnsiString> names{program};
  if (ExtractFileExt(program).empty()) names.push_back(program + ".exe");
  for (const AnsiString& name : names) {
    if (hasFolder) {
      const std::string host = HostPathFromWindows(name);
      if (!host.empty() && Exists(host)) return host;
    } else {
      if (Exists(name)) return "./" + name;
      if (auto found = FindOnPath(name)) return found;
    }
  }
  return std::nullopt;
}

bool StartsWithMz(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;  // execute-only files exist; let the system judge those
  char magic[2] = {};
  const ssize_t got = ::read(fd, magic, sizeof magic);
  ::close(fd);
  return got == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// Owns the spawn attribute and file action records for the length of one start.
class SpawnSettings {
 public:
  SpawnSettings() {
    ok_ = posix_spawnattr_init(&attributes_) == 0;
    ok_ = posix_spawn_file_actions_init(&actions_) == 0 && ok_;
    if (!ok_) return;
    // Own session so it outlives us; default signal handling and an empty mask whatever the
    // caller set up; only stdin, stdout and stderr inherited (libraries open files without
    // close-on-exec).
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ok_ = posix_spawnattr_setflags(&attributes_,
                                   static_cast<short>(POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                      POSIX_SPAWN_SETSIGDEF)) == 0 &&
          posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
          posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
          posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
  }
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  bool ok() const { return ok_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_{};
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

unsigned Spawn(const std::vector<std::string>& argv) {
  SpawnSettings settings;
  if (!settings.ok()) return kOutOfResources;
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);

  pid_t child = 0;
  const int error = posix_spawn(&child, pointers[0], settings.actions(), settings.attributes(),
                                pointers.data(), environ);
  if (error == 0) return kStarted;
  if (error == ENOMEM || error == EAGAIN) return kOutOfResources;
  // The program exists (checked before), so even ENOENT here means it cannot run: a missing
  // script interpreter or loader.
  return kBadFormat;
}

}  // namespace

unsigned WinExec(const AnsiString& commandLine, unsigned show) {
  static_cast<void>(show);  // where the child puts its window is the child's business here
  std::vector<AnsiString> arguments = SplitWindowsCommandLine(commandLine);
  if (arguments.empty() || arguments.front().empty()) return 0;

  const auto program = LocateProgram(arguments.front());
  if (!program) return kFileNotFound;
  struct stat info {};
  if (::stat(program->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return kBadFormat;

  std::vector<std::string> argv;
  if (StartsWithMz(*program)) {
    const auto wine = FindOnPath("wine");
    if (!wine) return kBadFormat;
    argv.push_back(*wine);
  }
  argv.push_back(*program);
  argv.insert(argv.end(), arguments.begin() + 1, arguments.end());
  return Spawn(argv);
}
