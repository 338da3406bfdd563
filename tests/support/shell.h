#pragma once
// Shell commands run from tests, and the independent tools they call.
#include <string>

// Runs a shell command; returns its exit status (-1 when it did not exit), and its standard
// output in *output when given.
int RunShell(const std::string& command, std::string* output = nullptr);

// Whether ImageMagick's convert is there to serve as an independent reader and writer.
bool HaveImageMagick();
