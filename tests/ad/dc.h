// A throwaway Active Directory domain controller (Samba) for the tests of this folder: provisioned
// once per run in a temporary folder, inside the private network and mount namespace that ctest
// runs the test program in, so the domain's names resolve through a hosts file of our own and
// nothing outside the namespace is reachable or reaches it. Beside it, loopback listeners that
// stand in for dead, refusing and Windows-like servers, and a platform root configured for it.
#ifndef BRINDLECORE_TESTS_AD_DC_H_
#define BRINDLECORE_TESTS_AD_DC_H_

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/dispatch.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/web_root.h"
#include "support/winnt_fixture.h"

namespace brindlecore::testing {

inline constexpr char kDomainDn[] = "DC=example,DC=test";
inline constexpr char kDcHost[] = "dc1.example.test";
inline constexpr char kDomainHost[] = "example.test";  // what the DC's referrals name
inline constexpr char kServiceDn[] = "CN=svc-brindle,CN=Users,DC=example,DC=test";
inline constexpr char kServicePassword[] = "Svc-Passw0rd!";
inline constexpr char kUserPassword[] = "Us3r-Passw0rd!";
inline constexpr int kBulkMembers = 1600;  // members of "Crowd", past one ranged window
inline constexpr char kComputer[] = "WEBSRV1";
inline constexpr char kAlicePath[] = "LDAP://CN=Alice Smith,CN=Users,DC=example,DC=test";

// The directory the DC starts with: see provision.sh for each object.
class SambaDc : public ::testing::Environment {
 public:
  static SambaDc& Get();

  void SetUp() override;     // provisions, fills and starts; fails the run with the logs
  void TearDown() override;  // stops the DC by its PID and removes its folder

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path ca_file() const { return folder_ / "tls" / "ca.pem"; }

  // What the domain's own DNS name resolves to: "127.0.0.1" (the DC), another loopback address
  // where nothing listens, or "" for no answer at all.
  void ResolveDomainNameTo(const std::string& address);

 private:
  void Start();
  std::filesystem::path folder_;
  ServerProcess samba_;
};

// The relay answers a search under this base, which no server of ours holds, with a referral
// result to "ldap://example.test:<relay port>/CN=Configuration,DC=example,DC=test".
inline constexpr char kForeignBase[] = "DC=other,DC=test";
// The most values of one attribute the relay hands out unasked, as a Windows DC does (Samba
// hands out all of them): past it the attribute comes back as "member;range=0-1499".
inline constexpr size_t kMaxValRange = 1500;

// A loopback port that takes connections and says nothing, closes each at once, or relays plain
// LDAP to the DC's ldaps port and behaves as a Windows DC does where Samba differs. It counts
// connections.
class Listener {
 public:
  enum class Mode { kSilent, kClosing, kRelay };
  explicit Listener(Mode mode);
  ~Listener();
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

// The configuration every case starts from: the DC over ldaps, trusted through our CA file.
std::vector<std::string> LdapsConfig();

struct SignIn {
  std::string domain = "LDAP://RootDSE";
  std::string user = "alice";
  std::string password = kUserPassword;
  std::string admin_group = "WebAdmins";
  std::string login_type = "ServerAdministrator";
};

// A platform root over `config` ("key = value" lines, after the service account and its password
// file), on an account database that holds the computer kComputer.
struct AdCase {
  explicit AdCase(const std::vector<std::string>& config = LdapsConfig());
  // Result, group list, group names and error text of AuthenticateUser joined by "|" (the error
  // text goes in as "x"), or "!" and the host-facing error when the call itself failed.
  std::string Call(const SignIn& s);

  TempDir dir;
  AccountsFixture accounts{dir.path()};
  std::unique_ptr<platform::Platform> platform;
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_AD_DC_H_
