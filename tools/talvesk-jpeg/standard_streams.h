#pragma once
// Files named on the command line, where "-" stands for standard input or standard output.
#include <string>

#include "framework/graphics/graphic.h"

// Loads the graphic from the file, or from all of standard input (which may be a pipe) for "-".
void LoadGraphic(TGraphic& graphic, const std::string& name);
// Saves the graphic to the file, or for "-" to standard output, which gets nothing unless the
// whole graphic could be written to memory first.
void SaveGraphic(TGraphic& graphic, const std::string& name);
