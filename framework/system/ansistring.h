#pragma once
// The framework's 8-bit text. File names are the bytes the file system gives;
// nothing here assumes an encoding.
#include <string>

using AnsiString = std::string;
