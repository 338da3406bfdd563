#include "tests/support/shell.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

int RunShell(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::array<char, 4096> chunk{};
  std::size_t count = 0;
  while ((count = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
    if (output != nullptr) output->append(chunk.data(), count);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveImageMagick() { return RunShell("command -v convert >/dev/null 2>&1") == 0; }
