#include "cli/commands.h"

namespace brindlecore::cli {

// Not built yet.
void AddRegsvrCommand(CLI::App& /*app*/, const Context& /*ctx*/) {}

}  // namespace brindlecore::cli
