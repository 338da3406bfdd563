// talvesk-jpeg: command-line front end of the JPEG picture unit.
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "tools/talvesk-jpeg/commands.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(std::span<const std::string>);
};

constexpr Command kCommands[] = {
    {"info", "info IN.jpg", RunInfo},
    {"decode", "decode IN.jpg OUT.bmp [options]", RunDecode},
    {"encode", "encode IN.bmp OUT.jpg [options]", RunEncode},
};

int Usage() {
  std::fputs("usage: talvesk-jpeg <command> ...\ncommands:\n", stderr);
  for (const Command& command : kCommands)
    std::fprintf(stderr, "  talvesk-jpeg %s\n", command.usage);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string name = argv[1];
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (name == command.name) return command.run(arguments);
  }
  std::fprintf(stderr, "talvesk-jpeg: unknown command '%s'\n", name.c_str());
  return Usage();
}
