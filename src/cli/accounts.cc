#include "cli/commands.h"

namespace brindlecore::cli {

// Not built yet.
void AddAccountCommands(CLI::App& /*app*/, const Context& /*ctx*/) {}

}  // namespace brindlecore::cli
