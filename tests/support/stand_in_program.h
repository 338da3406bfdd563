#pragma once
// Installs tests/support/stand-in-program.sh under another name; see there for what it records.
#include <filesystem>

// Copies the stand-in to path, executable, and returns the file where it records its arguments.
std::filesystem::path InstallStandInProgram(const std::filesystem::path& path);
