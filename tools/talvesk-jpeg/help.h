#pragma once
// What talvesk-jpeg says about itself. Each command describes itself once, in a CommandHelp;
// the usage line of a usage error, `--help` and the manual page (made from `--help` at build
// time) are all printed from those descriptions, so they cannot disagree.
#include <cstdio>
#include <span>

struct OptionHelp {
  const char* name;   // "--depth"
  const char* value;  // "24|8", or nullptr for a switch
  const char* text;
};

struct CommandHelp {
  const char* name;      // "decode"
  const char* operands;  // "IN.jpg OUT.bmp"
  int operandCount;
  const char* summary;  // one line, lower case, no full stop
  std::span<const OptionHelp> options;
};

// Prints the command's one-line usage to stderr and returns kExitUsage.
int UsageError(const CommandHelp& command);
// The command's own `--help` text.
void PrintCommandHelp(const CommandHelp& command, std::FILE* out);
// The program's `--help` text, covering every command.
void PrintProgramHelp(std::span<const CommandHelp* const> commands, std::FILE* out);
// The program's version and the libjpeg it runs on.
void PrintVersion(std::FILE* out);
