// The checks and conversions that `build` runs over the scanned tree before it is packed
// (cmd_build.cpp lists them in their order). A step may add generated entries or warnings;
// false with a message stops the build.
#pragma once

#include <string>

#include "pack_common.h"

using BuildStep = bool (*)(PackTree& tree, std::string* error);

struct NamedBuildStep {
  const char* name;  // prefixes the step's message
  BuildStep step;
};

// insttscr.png converted to insttscr.rct when the tree has no picture of the program's format.
bool TitlePictureStep(PackTree& tree, std::string* error);
// install.env read the way the program will read it: its warnings, and a stop for an error.
bool LintStep(PackTree& tree, std::string* error);
