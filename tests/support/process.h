// Processes the tests start: a program run to its end, or a server (slapd, the domain controller,
// our own `serve`) waited for until it answers and stopped by its PID.
#ifndef BRINDLECORE_TESTS_SUPPORT_PROCESS_H_
#define BRINDLECORE_TESTS_SUPPORT_PROCESS_H_

#include <signal.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace brindlecore::testing {

// Standard input, output and error (which may be the output's file, emptied first).
struct ProcessIo {
  std::filesystem::path in, out, err;
};
inline ProcessIo LogTo(const std::filesystem::path& log) { return {"/dev/null", log, log}; }

// Starts `argv` (looked up on PATH) in the test's environment less every variable whose name
// starts with the name of an entry of `env`, plus the entries "NAME=value". It gets SIGTERM when
// the test program ends, so no server outlives a test that crashes.
pid_t Spawn(const std::vector<std::string>& argv, const ProcessIo& io,
            const std::vector<std::string>& env = {});
int WaitExit(pid_t pid);  // the exit status; -1 when it did not exit normally
// Polls `done` every few milliseconds for up to `seconds`: whether it came true.
bool WaitUntil(const std::function<bool()>& done, double seconds);

// A server started for a test and stopped by its PID at scope exit.
class ServerProcess {
 public:
  ~ServerProcess() { Stop(); }
  void Start(const std::vector<std::string>& argv, const ProcessIo& io,
             const std::vector<std::string>& env = {}) {
    pid_ = Spawn(argv, io, env);
  }
  // Whether `ready` came true within `seconds` while the server ran.
  bool WaitReady(const std::function<bool()>& ready, double seconds);
  // Sends `signal`, then SIGKILL when the server has not ended `grace` seconds later.
  void Stop(int signal = SIGTERM, double grace = 10);

 private:
  pid_t pid_ = -1;
};

int ListenLoopback(int* port);  // a listening socket on a new loopback port; throws when none
int FreePort();                 // a loopback port nothing listens on right now
int ConnectLoopback(int port);  // a connection to a loopback port, or -1
bool PortOpen(int port);

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_PROCESS_H_
