#include "app/cli/commands.h"

namespace cli {

const std::vector<Command>& commands()
{
    static const std::vector<Command> all{
        kInfoCommand,
        kSectionCommand,
        kStackCommand,
        kWireframeCommand,
        kRepairCommand,
        kConvertCommand,
        kDrawingCommand,
    };
    return all;
}

} // namespace cli
