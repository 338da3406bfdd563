#pragma once
// What the commands that read one file and write another share: the argument loop, number
// parsing, and turning a failure into its message and exit status.
#include <functional>
#include <span>
#include <string>

// True when there is a text (an option's value may be missing) and all of it is a decimal
// integer.
bool ParseNumber(const std::string* text, int& value);

// The value after an option, or nullptr when the arguments end first.
using OptionValue = std::function<const std::string*()>;
// Applies one option; false when it is unknown or its value is bad.
using OptionHandler = std::function<bool(const std::string& option, const OptionValue& value)>;

// Runs `IN OUT [options]`: a bad argument list prints the usage line and gives kExitUsage;
// otherwise work(in, out) runs, and an exception from it prints its message and gives
// kExitFailure.
int RunFileCommand(std::span<const std::string> arguments, const char* usage,
                   const OptionHandler& applyOption,
                   const std::function<void(const std::string& in, const std::string& out)>& work);

// Runs work; an exception prints its message and gives kExitFailure, else kExitOk.
int ReportFailure(const std::function<void()>& work);
