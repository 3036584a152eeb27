// Running the web server's programs and finding its processes.
#ifndef BRINDLECORE_PLATFORM_WEB_PROCESS_H_
#define BRINDLECORE_PLATFORM_WEB_PROCESS_H_

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace brindlecore::platform::web {

struct ProgramResult {
  int status = -1;     // exit status; -1 when it could not run or was killed
  std::string output;  // what it wrote on stdout and stderr
};

// Runs `argv` (argv[0] a path) with stdin from /dev/null and none of the caller's other
// descriptors, so a daemon it leaves behind holds none of our sockets or databases. Output goes
// through `scratch` (a file, removed afterwards) so such a daemon holds no pipe of ours open.
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::filesystem::path& scratch);

// The live (not zombie) nginx process whose pid `pid_file` holds, or 0.
pid_t RunningNginx(const std::filesystem::path& pid_file);

// The live child processes of `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent);

}  // namespace brindlecore::platform::web

#endif  // BRINDLECORE_PLATFORM_WEB_PROCESS_H_
