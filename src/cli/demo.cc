#include "cli/commands.h"

namespace brindlecore::cli {

// Not built yet.
void SetUpDemo(const std::filesystem::path& /*root*/) {}

}  // namespace brindlecore::cli
