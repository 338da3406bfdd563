#pragma once
// What the commands share: the argument loop with GNU option forms, number parsing, and turning a
// failure into its message and exit status.
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

#include "tools/talvesk-jpeg/help.h"

// True when all of the text is a decimal integer.
bool ParseNumber(const std::string& text, int& value);

// Applies one option, named by its long name whichever form was given; value is nullptr for a
// switch. False when the value is bad (a switch's answer is not asked).
using OptionHandler = std::function<bool(const std::string& option, const std::string* value)>;

// A mistake in the arguments that only the command's work can see (an output name that says no
// format); gives a usage error with this reason.
class UsageMistake : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs `NAME ARGUMENTS`: options and operands in any order, "--NAME=VALUE", "--NAME VALUE",
// "-X VALUE" and "-XVALUE" for an option with a short name, "--" before operands only, and a lone
// "-" an operand. -h or --help prints the command's help and gives kExitOk; a bad argument list
// prints what was wrong and the usage line and gives kExitUsage; otherwise work(operands) runs
// and gives the exit status, and an exception from it prints "talvesk-jpeg: " and its message
// and gives kExitFailure.
using CommandWork = std::function<int(std::span<const std::string* const> operands)>;
int RunCommand(std::span<const std::string> arguments, const CommandHelp& help,
               const OptionHandler& applyOption, const CommandWork& work);
