// Loopback TCP ports for failover, refusal and Active Directory behaviour Samba lacks: one that
// takes connections and says nothing, one that closes each at once, and a plain-LDAP relay to the
// DC's ldaps port that behaves as a Windows DC does where Samba differs. It counts connections.
#ifndef BRINDLECORE_TESTS_AD_LISTENER_H_
#define BRINDLECORE_TESTS_AD_LISTENER_H_

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace brindlecore::testing {

// The relay answers a search under this base, which no server of ours holds, with a referral
// result to "ldap://example.test:<relay port>/CN=Configuration,DC=example,DC=test".
inline constexpr char kForeignBase[] = "DC=other,DC=test";
// The most values of one attribute the relay hands out unasked, as a Windows DC does (Samba
// hands out all of them): past it the attribute comes back as "member;range=0-1499".
inline constexpr size_t kMaxValRange = 1500;

class Listener {
 public:
  enum class Mode { kSilent, kClosing, kRelay };
  explicit Listener(Mode mode);
  ~Listener();
  int port() const { return port_; }
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
  int connections() const { return connections_; }

 private:
  void Serve();
  void Relay(int client);
  Mode mode_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<bool> stop_{false};
  std::vector<int> held_;
  std::vector<std::thread> relays_;
  std::thread thread_;
};

// A loopback port where nothing listens.
int UnusedPort();

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_AD_LISTENER_H_
