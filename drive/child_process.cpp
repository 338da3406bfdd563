#include "drive/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

constexpr std::size_t kKeptOutput = 64 * 1024;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const std::string& change : changes) {
      replaced = replaced || change.substr(0, change.find('=')) == name;
    }
    if (!replaced) merged.push_back(text);
  }
  merged.insert(merged.end(), changes.begin(), changes.end());
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

class Pipe {
 public:
  Pipe() { ok_ = ::pipe2(ends_, O_CLOEXEC) == 0; }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool ok() const { return ok_; }
  int read() const { return ends_[0]; }
  int write() const { return ends_[1]; }
  void CloseRead() { Close(ends_[0]); }
  void CloseWrite() { Close(ends_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  int ends_[2] = {-1, -1};
  bool ok_ = false;
};

}  // namespace

std::string FindProgramOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string candidate =
        (end == start ? std::string(".") : folders.substr(start, end - start)) + "/" + name;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

TChildResult RunToEnd(const std::vector<std::string>& argv,
                      const std::vector<std::string>& environment, int timeoutSeconds) {
  TChildResult result;
  const std::string program = argv.empty() ? "" : FindProgramOnPath(argv[0]);
  Pipe output;
  if (program.empty() || !output.ok()) return result;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output.write(), 1);
  posix_spawn_file_actions_adddup2(&actions, output.write(), 2);
  // Only stdio: the lock and the mount's descriptors stay ours.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);

  std::vector<std::string> arguments = argv;
  std::vector<std::string> variables = MergedEnvironment(environment);
  pid_t child = 0;
  const int error = ::posix_spawn(&child, program.c_str(), &actions, &attributes,
                                  Pointers(arguments).data(), Pointers(variables).data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  output.CloseWrite();
  if (error != 0) return result;
  result.started = true;

  // Read while the child runs. A server it starts (Wine's) may inherit the pipe and outlive it,
  // so the child's end, not the pipe's, ends the wait.
  ::fcntl(output.read(), F_SETFL, O_NONBLOCK);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  bool ended = false;
  bool pipeOpen = true;
  for (;;) {
    if (pipeOpen) {
      char buffer[4096];
      ssize_t count;
      while ((count = ::read(output.read(), buffer, sizeof buffer)) > 0) {
        const std::size_t room = kKeptOutput - std::min(kKeptOutput, result.output.size());
        result.output.append(buffer, std::min(room, static_cast<std::size_t>(count)));
      }
      pipeOpen = count != 0;
    }
    if (ended) break;
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) {
      ended = true;  // one more read takes what it wrote last
      continue;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      return result;  // exitStatus stays -1
    }
    pollfd readable{output.read(), POLLIN, 0};
    ::poll(&readable, pipeOpen ? 1 : 0, 50);
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string TChildResult::Reason() const {
  if (!started) return "it could not be started";
  if (exitStatus < 0) return "it did not end in time";
  std::string text = output;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t newline = text.rfind('\n');
  text = newline == std::string::npos ? text : text.substr(newline + 1);
  return text.empty() ? "exit status " + std::to_string(exitStatus) : text;
}
