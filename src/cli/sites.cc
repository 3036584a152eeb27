#include "cli/commands.h"

namespace brindlecore::cli {

// Not built yet.
void AddSiteCommands(CLI::App& /*app*/, const Context& /*ctx*/) {}

}  // namespace brindlecore::cli
