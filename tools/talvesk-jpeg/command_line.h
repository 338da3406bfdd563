#pragma once
// What the commands share: the argument loop, number parsing, and turning a failure into its
// message and exit status.
#include <functional>
#include <span>
#include <string>

#include "tools/talvesk-jpeg/help.h"

// True when there is a text (an option's value may be missing) and all of it is a decimal
// integer.
bool ParseNumber(const std::string* text, int& value);

// The value after an option, or nullptr when the arguments end first.
using OptionValue = std::function<const std::string*()>;
// Applies one option; false when it is unknown or its value is bad.
using OptionHandler = std::function<bool(const std::string& option, const OptionValue& value)>;

// Runs `NAME OPERANDS [options]`: -h or --help prints the command's help and gives kExitOk; a bad
// argument list prints the usage line and gives kExitUsage; otherwise work(operands) runs, and an
// exception from it prints its message and gives kExitFailure. A lone "-" is an operand.
int RunCommand(std::span<const std::string> arguments, const CommandHelp& help,
               const OptionHandler& applyOption,
               const std::function<void(std::span<const std::string* const> operands)>& work);
