#include "tools/talvesk-jpeg/command_line.h"

#include <charconv>
#include <optional>
#include <vector>

#include "tools/talvesk-jpeg/commands.h"
#include "tools/talvesk-jpeg/diagnostics.h"

namespace {

const OptionHelp* FindOption(const CommandHelp& help, const std::string& name, char shortName) {
  for (const OptionHelp& option : help.options) {
    if (shortName != 0 ? option.shortName == shortName : name == option.name) return &option;
  }
  return nullptr;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Reads the option at arguments[i] and its value (moving i past a separate value) and applies it;
// returns what was wrong, if anything.
std::optional<std::string> TakeOption(std::span<const std::string> arguments, std::size_t& i,
                                      const CommandHelp& help, const OptionHandler& applyOption) {
  const std::string& argument = arguments[i];
  const OptionHelp* option = nullptr;
  std::optional<std::string> attached;
  if (argument.starts_with("--")) {
    const auto equals = argument.find('=');
    option = FindOption(help, argument.substr(0, equals), 0);
    if (equals != std::string::npos) attached = argument.substr(equals + 1);
  } else {
    option = FindOption(help, "", argument[1]);
    if (option != nullptr && argument.size() > 2) {
      // Short switches cannot be bundled: "-gq" is no option of ours.
      if (option->value == nullptr) option = nullptr;
      attached = argument.substr(2);
    }
  }
  if (option == nullptr) return "unknown option " + Quoted(argument);
  if (option->value == nullptr) {
    if (attached) return std::string("option ") + option->name + " takes no value";
    applyOption(option->name, nullptr);  // a switch has no value to refuse
    return std::nullopt;
  }
  if (!attached) {
    if (i + 1 >= arguments.size()) {
      return std::string("option ") + option->name + " needs a value (" + option->value + ")";
    }
    attached = arguments[++i];
  }
  if (applyOption(option->name, &*attached)) return std::nullopt;
  return "invalid value " + Quoted(*attached) + " for " + option->name + " (" + option->value + ")";
}

std::string OperandCountProblem(const CommandHelp& help, std::size_t given) {
  const auto wanted = static_cast<std::size_t>(help.operandCount);
  if (given == wanted || (help.moreOperands && given > wanted)) return {};
  const std::string files = std::to_string(wanted) + (wanted == 1 ? " file" : " files");
  return std::string(help.moreOperands ? "needs at least " : "needs ") + files + " (" +
         help.operands + "), got " + std::to_string(given);
}

}  // namespace

bool ParseNumber(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

int RunCommand(std::span<const std::string> arguments, const CommandHelp& help,
               const OptionHandler& applyOption, const CommandWork& work) {
  std::vector<const std::string*> operands;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      operands.push_back(&argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      PrintCommandHelp(help, stdout);
      return kExitOk;
    } else if (auto problem = TakeOption(arguments, i, help, applyOption)) {
      return UsageError(help, *problem);
    }
  }
  if (const std::string problem = OperandCountProblem(help, operands.size()); !problem.empty()) {
    return UsageError(help, problem);
  }
  try {
    return work(operands);
  } catch (const UsageMistake& mistake) {
    return UsageError(help, mistake.what());
  } catch (const std::exception& error) {
    PrintMessage(Describe(error));
    return kExitFailure;
  }
}
