#include "platform/web/process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

namespace brindlecore::platform::web {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The state letter and parent of /proc/PID/stat; the command name may hold spaces and ")".
bool ReadStat(pid_t pid, char& state, pid_t& parent) {
  std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(stat.substr(close + 1));
  return static_cast<bool>(rest >> state >> parent);
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::filesystem::path& scratch) {
  ProgramResult result;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int out = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || in < 0) {
    if (out >= 0) ::close(out);
    if (in >= 0) ::close(in);
    return result;
  }
  sigset_t none;
  sigemptyset(&none);
  pid_t child = ::fork();
  if (child == 0) {
    // Only async-signal-safe calls between fork and exec: the parent may have other threads.
    // A mask a host thread blocked with would outlive exec and keep signals from the daemon.
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::syscall(SYS_close_range, 3U, ~0U, 0U);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out);
  ::close(in);
  if (child > 0) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  }
  result.output = ReadAll(scratch);
  std::error_code ec;
  std::filesystem::remove(scratch, ec);
  return result;
}

pid_t RunningNginx(const std::filesystem::path& pid_file) {
  std::ifstream in(pid_file);
  long pid = 0;
  if (!(in >> pid) || pid <= 1) return 0;
  char state = 0;
  pid_t parent = 0;
  if (!ReadStat(static_cast<pid_t>(pid), state, parent) || state == 'Z' || state == 'X') return 0;
  // A pid file outlives a reboot; its number may since belong to anything.
  std::string cmdline = ReadAll("/proc/" + std::to_string(pid) + "/cmdline");
  if (cmdline.find("nginx") == std::string::npos) return 0;
  return static_cast<pid_t>(pid);
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> children;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    char state = 0;
    pid_t ppid = 0;
    pid_t pid = static_cast<pid_t>(std::stol(name));
    if (ReadStat(pid, state, ppid) && ppid == parent && state != 'Z') children.push_back(pid);
  }
  return children;
}

}  // namespace brindlecore::platform::web
