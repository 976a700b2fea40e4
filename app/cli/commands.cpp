#include "app/cli/commands.h"

namespace cli {

const std::vector<Command>& commands()
{
    static const std::vector<Command> all{
        kInfoCommand,
        kSectionCommand,
        kStackCommand,
        kRepairCommand,
        kConvertCommand,
    };
    return all;
}

} // namespace cli
