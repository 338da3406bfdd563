#pragma once
// What talvesk-jpeg says about itself. Each command describes itself once, in a CommandHelp;
// the usage line of a usage error, `--help` and the manual page (made from `--help` at build
// time) are all printed from those descriptions, so they cannot disagree.
#include <cstdio>
#include <span>
#include <string>

struct OptionHelp {
  const char* name;   // "--quality"
  char shortName;     // 'q', or 0 when there is none
  const char* value;  // "1-100", or nullptr for a switch
  const char* text;
};

struct CommandHelp {
  const char* name;      // "decode"
  const char* operands;  // "IN.jpg OUT"
  int operandCount;      // how many operands, or with moreOperands the fewest
  bool moreOperands;
  const char* summary;  // one line, lower case, no full stop
  std::span<const OptionHelp> options;
  const char* details = nullptr;  // paragraphs after the options, or nullptr
};

// Prints "talvesk-jpeg: COMMAND: reason" and the command's one-line usage to stderr, and returns
// kExitUsage.
int UsageError(const CommandHelp& command, const std::string& reason);
// The command's own `--help` text.
void PrintCommandHelp(const CommandHelp& command, std::FILE* out);
// The program's `--help` text, covering every command.
void PrintProgramHelp(std::span<const CommandHelp* const> commands, std::FILE* out);
// The program's version and the libjpeg it runs on.
void PrintVersion(std::FILE* out);
