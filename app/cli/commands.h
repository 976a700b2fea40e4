#pragma once

#include "app/cli/clicommon.h"

#include <vector>

namespace cli {

// Every command, in the order the usage text lists them. A new command is a
// new command_<name>.cpp defining its Command, plus one line in commands.cpp.
const std::vector<Command>& commands();

extern const Command kInfoCommand;
extern const Command kSectionCommand;
extern const Command kStackCommand;
extern const Command kWireframeCommand;
extern const Command kRepairCommand;
extern const Command kConvertCommand;
extern const Command kDrawingCommand;

} // namespace cli
