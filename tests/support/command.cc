#include "support/command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "support/process.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

CommandOutcome Run(const std::vector<std::string>& args, const std::string& input) {
  TempDir io;
  const ProcessIo files = {io.path() / "in", io.path() / "out", io.path() / "err"};
  std::ofstream(files.in) << input;
  const int status = WaitExit(Spawn(args, files));
  return {status, ReadFile(files.out), ReadFile(files.err)};
}

}  // namespace

std::string CommandPath() {
  const char* bin = std::getenv("BRINDLECORE_BIN");
  if (bin == nullptr) ADD_FAILURE() << "BRINDLECORE_BIN is not set";
  return bin ? bin : "brindlecore";
}

CommandOutcome RunCommand(const std::filesystem::path& root, std::vector<std::string> args,
                          const std::string& input) {
  if (!root.empty()) args.insert(args.begin(), {"--root", root.string()});
  args.insert(args.begin(), CommandPath());
  return Run(args, input);
}

CommandOutcome RunShell(const std::string& script, const std::string& input) {
  return Run({"/bin/sh", "-ec", script}, input);
}

}  // namespace brindlecore::testing
