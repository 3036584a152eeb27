#include "cli/commands.h"

namespace brindlecore::cli {

// Not built yet.
void AddInitCommand(CLI::App& /*app*/, const Context& /*ctx*/) {}

}  // namespace brindlecore::cli
