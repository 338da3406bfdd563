#include "tools/talvesk-jpeg/file_command.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <vector>

#include "tools/talvesk-jpeg/commands.h"

bool ParseNumber(const std::string* text, int& value) {
  if (text == nullptr) return false;
  const char* end = text->data() + text->size();
  auto [stop, error] = std::from_chars(text->data(), end, value);
  return error == std::errc() && stop == end;
}

int RunFileCommand(std::span<const std::string> arguments, const char* usage,
                   const OptionHandler& applyOption,
                   const std::function<void(const std::string& in, const std::string& out)>& work) {
  std::vector<const std::string*> files;
  bool valid = true;
  for (std::size_t i = 0; valid && i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.size() > 1 && argument[0] == '-') {
      valid = applyOption(argument, [&]() -> const std::string* {
        return i + 1 < arguments.size() ? &arguments[++i] : nullptr;
      });
    } else {
      files.push_back(&argument);
    }
  }
  if (!valid || files.size() != 2) {
    std::fputs(usage, stderr);
    return kExitUsage;
  }
  return ReportFailure([&] { work(*files[0], *files[1]); });
}

int ReportFailure(const std::function<void()>& work) {
  try {
    work();
    return kExitOk;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return kExitFailure;
  }
}
