// Runs the `brindlecore` command as a person or a script would, over a given root.
#ifndef BRINDLECORE_TESTS_SUPPORT_COMMAND_H_
#define BRINDLECORE_TESTS_SUPPORT_COMMAND_H_

#include <filesystem>
#include <string>
#include <vector>

namespace brindlecore::testing {

struct CommandOutcome {
  int status;  // exit status; -1 when the command did not exit normally
  std::string out, err;
};

// `$BRINDLECORE_BIN --root <root> args...` (without --root for an empty root) with `input` on
// standard input. Input and outputs go through files, so the command never sees a terminal.
CommandOutcome RunCommand(const std::filesystem::path& root, std::vector<std::string> args,
                          const std::string& input = "");

std::string CommandPath();  // $BRINDLECORE_BIN

// `sh -ec script`, for runs that need a set-up of their own around the command (a mount
// namespace, another user).
CommandOutcome RunShell(const std::string& script, const std::string& input = "");

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_COMMAND_H_
