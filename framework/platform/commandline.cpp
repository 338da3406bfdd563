#include <cstddef>
#include <string_view>

#include "framework/platform/process.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::vector<AnsiString> SplitWindowsCommandLine(const AnsiString& commandLine) {
  // The system hands a command line over as a zero-terminated string: nothing after a NUL exists.
  const std::string_view line(commandLine.c_str());
  std::vector<AnsiString> arguments;
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return arguments;

  AnsiString program;
  bool quoted = false;
  for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else {
      program += line[i];
    }
  }
  arguments.push_back(std::move(program));

  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    AnsiString argument;
    quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        std::size_t backslashes = 0;
        while (i < line.size() && line[i] == '\\') {
          ++backslashes;
          ++i;
        }
        if (i < line.size() && line[i] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            argument += '"';
            ++i;
          }
        } else {
          argument.append(backslashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          argument += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument += line[i++];
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}
