#include "support/command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

CommandOutcome Run(std::vector<std::string> args, const std::string& input) {
  TempDir io;
  auto in_path = io.path() / "in", out_path = io.path() / "out", err_path = io.path() / "err";
  std::ofstream(in_path) << input;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int in = open(in_path.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out_path), ReadFile(err_path)};
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
  return Run(std::move(args), input);
}

CommandOutcome RunShell(const std::string& script, const std::string& input) {
  return Run({"/bin/sh", "-ec", script}, input);
}

}  // namespace brindlecore::testing
