// talvesk-jpeg: command-line front end of the JPEG picture unit.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "framework/platform/clock.h"
#include "tools/talvesk-jpeg/commands.h"

namespace {

struct Command {
  const CommandHelp* help;
  int (*run)(std::span<const std::string>);
};

constexpr Command kCommands[] = {
    {&kInfoHelp, RunInfo},
    {&kDecodeHelp, RunDecode},
    {&kEncodeHelp, RunEncode},
};

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.help->name) return &command;
  }
  return nullptr;
}

int Usage(const std::string& reason) {
  std::string names;
  for (const Command& command : kCommands) {
    names += (names.empty() ? "" : "|") + std::string(command.help->name);
  }
  std::fprintf(stderr,
               "talvesk-jpeg: %s\nusage: talvesk-jpeg %s ARGUMENTS... (talvesk-jpeg --help "
               "explains)\n",
               reason.c_str(), names.c_str());
  return kExitUsage;
}

bool AsksForHelp(const std::string& argument) {
  return argument == "--help" || argument == "-h" || argument == "help";
}

int Help(std::span<const std::string> arguments) {
  if (arguments.empty() || (arguments.size() == 1 && AsksForHelp(arguments[0]))) {
    std::vector<const CommandHelp*> helps;
    for (const Command& command : kCommands) helps.push_back(command.help);
    PrintProgramHelp(helps, stdout);
    return kExitOk;
  }
  if (arguments.size() > 1) return Usage("help takes one command");
  const Command* command = FindCommand(arguments[0]);
  if (command == nullptr) return Usage("no command '" + arguments[0] + "'");
  PrintCommandHelp(*command->help, stdout);
  return kExitOk;
}

// Test hook: TALVESK_JPEG_TEST_CLOCK_SPEEDUP=N runs the millisecond clock N times faster, so that
// the half-second waits before progress is shown pass in a fraction of the time.
void ApplyClockSpeedup() {
  const char* text = std::getenv("TALVESK_JPEG_TEST_CLOCK_SPEEDUP");
  if (text == nullptr) return;
  const unsigned long speedup = std::strtoul(text, nullptr, 10);
  if (speedup < 2 || speedup > 1000) return;
  SetTickCountSource([speedup, start = std::chrono::steady_clock::now()] {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    // Starts at 1: a tick of 0 means "not started" to the progress throttle.
    return static_cast<std::uint32_t>(
        static_cast<unsigned long long>(elapsed.count()) * speedup / 1000 + 1);
  });
}

int Run(const std::string& name, std::span<const std::string> arguments) {
  if (AsksForHelp(name)) return Help(arguments);
  if (name == "--version") {
    if (!arguments.empty()) return Usage("--version takes no arguments");
    PrintVersion(stdout);
    return kExitOk;
  }
  if (const Command* command = FindCommand(name)) return command->run(arguments);
  return Usage("unknown command '" + name + "'");
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that went away is a write error with a message, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc < 2) return Usage("no command given");
  ApplyClockSpeedup();
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  int status = Run(argv[1], arguments);
  // Help, version and info print through stdio; its buffer may fail only when flushed.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "talvesk-jpeg: Cannot write standard output. %s\n", std::strerror(errno));
    status = kExitFailure;
  }
  return status;
}
