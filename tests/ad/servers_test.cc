// Which servers a sign-in reaches: the configured ones in order, past those that fail, and never
// one that only the caller names.
#include <gtest/gtest.h>

#include "ad/ad_case.h"
#include "ad/listener.h"

namespace brindlecore::testing {
namespace {

const SignInOutcome kAliceAdmin{kAlicePath, "CN=WebAdmins;", "Server admins;", "x"};

std::vector<std::string> Config(const std::string& first_uri, const std::string& allowed = "") {
  std::vector<std::string> config = LdapsConfig();
  config[0] = "ldap.uri = " + first_uri + " ldaps://" + kDcHost;
  if (!allowed.empty()) config.push_back("ldap.allowed_servers = " + allowed);
  return config;
}

TEST(AdServers, FirstServerDeadRefusingOrSilent) {
  Listener silent(Listener::Mode::kSilent);
  Listener closing(Listener::Mode::kClosing);
  struct Case {
    const char* name;
    std::string uri;
  };
  const std::vector<Case> cases = {
      {"nothing listens", "ldaps://127.0.0.1:" + std::to_string(UnusedPort())},
      {"closes each connection", "ldaps://" + closing.server()},
      {"takes the connection and never answers", "ldaps://" + silent.server()},
      {"never answers StartTLS", "ldap://" + silent.server()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AdCase ad(Config(c.uri));
    EXPECT_EQ(ad.Call({}), kAliceAdmin);
  }
  EXPECT_GT(silent.connections(), 0);
  EXPECT_GT(closing.connections(), 0);
}

TEST(AdServers, NamedServerMustBeConfigured) {
  const SignInOutcome refused{"", "", "", "x - -2147016646,The server is not operational."};
  struct Case {
    const char* name;
    std::string allowed;
    bool contacted;
  };
  const std::vector<Case> cases = {
      {"not configured", "", false},
      {"another server allowed", "other.example.test", false},
      {"allowed by name", "127.0.0.1", true},
      {"any allowed", "*", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Listener stranger(Listener::Mode::kClosing);
    AdCase ad(Config("ldaps://" + std::string(kDcHost), c.allowed));
    SignInOutcome out = ad.Call({.domain = "LDAP://" + stranger.server() + "/DC=example,DC=test"});
    if (!c.contacted) {
      EXPECT_EQ(out, refused);
    }
    EXPECT_EQ(stranger.connections() > 0, c.contacted);
  }
}

}  // namespace
}  // namespace brindlecore::testing
