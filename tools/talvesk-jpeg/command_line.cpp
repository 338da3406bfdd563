#include "tools/talvesk-jpeg/command_line.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <vector>

#include "tools/talvesk-jpeg/commands.h"

namespace {

// Runs work; an exception prints its message and gives kExitFailure, else kExitOk.
int ReportFailure(const std::function<void()>& work) {
  try {
    work();
    return kExitOk;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return kExitFailure;
  }
}

}  // namespace

bool ParseNumber(const std::string* text, int& value) {
  if (text == nullptr) return false;
  const char* end = text->data() + text->size();
  auto [stop, error] = std::from_chars(text->data(), end, value);
  return error == std::errc() && stop == end;
}

int RunCommand(std::span<const std::string> arguments, const CommandHelp& help,
               const OptionHandler& applyOption,
               const std::function<void(std::span<const std::string* const> operands)>& work) {
  std::vector<const std::string*> operands;
  bool valid = true;
  for (std::size_t i = 0; valid && i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      PrintCommandHelp(help, stdout);
      return kExitOk;
    }
    if (argument.size() > 1 && argument[0] == '-') {
      valid = applyOption(argument, [&]() -> const std::string* {
        return i + 1 < arguments.size() ? &arguments[++i] : nullptr;
      });
    } else {
      operands.push_back(&argument);
    }
  }
  if (!valid || operands.size() != static_cast<std::size_t>(help.operandCount)) {
    return UsageError(help);
  }
  return ReportFailure([&] { work(operands); });
}
