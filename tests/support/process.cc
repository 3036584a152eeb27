#include "support/process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <thread>

extern char** environ;

namespace brindlecore::testing {

pid_t Spawn(const std::vector<std::string>& argv, const ProcessIo& io,
            const std::vector<std::string>& env) {
  // The child of a program with threads may not allocate: all it needs is made first.
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) {
    if (std::none_of(env.begin(), env.end(), [&](const std::string& change) {
          return std::string_view(*e).starts_with(change.substr(0, change.find('=')));
        })) {
      vars.emplace_back(*e);
    }
  }
  std::copy_if(env.begin(), env.end(), std::back_inserter(vars),
               [](const std::string& change) { return change.find('=') != std::string::npos; });
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (std::string& v : vars) envp.push_back(v.data());
  args.push_back(nullptr);
  envp.push_back(nullptr);
  const pid_t parent = getpid(), pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  const int in = open(io.in.c_str(), O_RDONLY);
  const int out = open(io.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = io.err == io.out ? out : open(io.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (getppid() == parent && dup2(in, 0) == 0 && dup2(out, 1) == 1 && dup2(err, 2) == 2) {
    execvpe(args[0], args.data(), envp.data());
  }
  _exit(127);
}

int WaitExit(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WaitUntil(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool ServerProcess::WaitReady(const std::function<bool()>& ready, double seconds) {
  const auto ended = [&] {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ <= 0;
  };
  return WaitUntil([&] { return ended() || ready(); }, seconds) && pid_ > 0;
}

void ServerProcess::Stop(int signal, double grace) {
  if (pid_ <= 0) return;
  kill(pid_, signal);
  if (!WaitUntil([&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, grace)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

static sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

int ListenLoopback(int* port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  socklen_t length = sizeof(a);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), length) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    throw std::runtime_error("cannot listen on a loopback port");
  }
  *port = ntohs(a.sin_port);
  return s;
}

int FreePort() {
  int port = 0;
  close(ListenLoopback(&port));
  return port;
}

int ConnectLoopback(int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) return s;
  close(s);
  return -1;
}

bool PortOpen(int port) {
  const int s = ConnectLoopback(port);
  return s >= 0 && close(s) == 0;
}

}  // namespace brindlecore::testing
