#include "app/cli/commands.h"

namespace cli {

const std::vector<Command>& commands()
{
    static const std::vector<Command> all{
        kInfoCommand,
        kSectionCommand,
        kStackCommand,
    };
    return all;
}

} // namespace cli
