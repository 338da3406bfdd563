#pragma once
// The commands of talvesk-jpeg. Each takes the arguments after its name and returns the exit
// status: 0 done, 1 failed (message on stderr), 2 usage error (usage line on stderr).
#include <span>
#include <string>

#include "tools/talvesk-jpeg/help.h"

int RunInfo(std::span<const std::string> arguments);
int RunDecode(std::span<const std::string> arguments);
int RunEncode(std::span<const std::string> arguments);

extern const CommandHelp kInfoHelp;
extern const CommandHelp kDecodeHelp;
extern const CommandHelp kEncodeHelp;

// Exit statuses shared by the commands.
enum : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };
