// A loopback TCP port for failover and refusal cases: one that takes connections and says
// nothing, or closes each at once; it counts the connections it saw.
#ifndef BRINDLECORE_TESTS_AD_LISTENER_H_
#define BRINDLECORE_TESTS_AD_LISTENER_H_

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace brindlecore::testing {

class Listener {
 public:
  enum class Mode { kSilent, kClosing };
  explicit Listener(Mode mode);
  ~Listener();
  int port() const { return port_; }
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
  int connections() const { return connections_; }

 private:
  void Serve();
  Mode mode_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<bool> stop_{false};
  std::vector<int> held_;
  std::thread thread_;
};

// A loopback port where nothing listens.
int UnusedPort();

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_AD_LISTENER_H_
