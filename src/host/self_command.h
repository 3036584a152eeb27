// Runs this very program (the brindlecore command) with other arguments, for steps that only
// the command exposes as a stable interface: setting a password, listing account databases.
#ifndef BRINDLECORE_HOST_SELF_COMMAND_H_
#define BRINDLECORE_HOST_SELF_COMMAND_H_

#include <string>
#include <vector>

namespace brindlecore::host {

struct CommandResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs /proc/self/exe with `args`, writing `input` to its standard input (so a password never
// appears on a command line). Throws AutomationError when the process cannot be started.
CommandResult RunSelf(const std::vector<std::string>& args, const std::string& input = "");

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_SELF_COMMAND_H_
