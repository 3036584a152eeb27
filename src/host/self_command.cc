#include "host/self_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "brindlecore/automation.h"

extern char** environ;

namespace brindlecore::host {
namespace {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int get() const { return fd_; }
  int* out() { return &fd_; }

 private:
  int fd_ = -1;
};

void MakePipe(Fd& read_end, Fd& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw AutomationError(-1, std::string("cannot create a pipe: ") + std::strerror(errno));
  }
  *read_end.out() = fds[0];
  *write_end.out() = fds[1];
}

}  // namespace

CommandResult RunSelf(const std::vector<std::string>& args, const std::string& input) {
  Fd in_r, in_w, out_r, out_w, err_r, err_w;
  MakePipe(in_r, in_w);
  MakePipe(out_r, out_w);
  MakePipe(err_r, err_w);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_r.get(), 0);
  posix_spawn_file_actions_adddup2(&actions, out_w.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, err_w.get(), 2);

  std::string self = "/proc/self/exe";
  std::vector<char*> argv;
  argv.push_back(self.data());
  std::vector<std::string> copies(args);
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    throw AutomationError(-1, std::string("cannot run the command: ") + std::strerror(rc));
  }
  in_r.Close();
  out_w.Close();
  err_w.Close();

  // A child that exits early must not kill us with SIGPIPE while we write its input.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old);
  size_t written = 0;
  while (written < input.size()) {
    ssize_t n = ::write(in_w.get(), input.data() + written, input.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  in_w.Close();
  sigaction(SIGPIPE, &old, nullptr);

  CommandResult result;
  pollfd fds[2] = {{out_r.get(), POLLIN, 0}, {err_r.get(), POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace brindlecore::host
