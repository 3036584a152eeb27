// Sign-in against the domain controller: every path and user-name form, the TLS settings, the
// servers it reaches, the references it passes over, and a group larger than one window.
#include <gtest/gtest.h>

#include "ad/dc.h"

namespace brindlecore::testing {
namespace {

const std::string kAliceAdmin = std::string(kAlicePath) + "|CN=WebAdmins;|Server admins;|x";
const std::string kAtDc1 =
    "LDAP://dc1.example.test/CN=Alice Smith,CN=Users,DC=example,DC=test|CN=WebAdmins;|Server "
    "admins;|x";
constexpr char kDown[] = "|||x - -2147016646,The server is not operational.";

TEST(AdSignIn, PathAndUserNameForms) {
  const std::string refused = "|||Username/password does not exist.";
  const std::string no_row = "|||x - -1,Login credentials (username and/or password) incorrect.";
  const std::string not_admin =
      "|||User Authenticated, but Group Membership Incorrect for Server Administrator.";
  const std::vector<std::pair<SignIn, std::string>> cases = {
      {{}, kAliceAdmin},
      {{.domain = "LDAP://DC=example,DC=test"}, kAliceAdmin},
      {{.domain = "LDAP://dc1.example.test/DC=example,DC=test"}, kAtDc1},
      {{.domain = "LDAP://dc1.example.test:636/DC=example,DC=test"},
       "LDAP://dc1.example.test:636/CN=Alice Smith,CN=Users,DC=example,DC=test|CN=WebAdmins;|"
       "Server admins;|x"},
      {{.user = "EXAMPLE\\alice"}, kAliceAdmin},
      // The directory takes both binds; the row is then looked up by account name.
      {{.user = "alice@example.test"}, no_row},
      {{.user = "CN=Alice Smith,CN=Users,DC=example,DC=test"}, no_row},
      {{.password = ""}, "|||x - -1,Invalid Password - 0 Length String"},
      {{.user = "nobody"}, refused},
      {{.user = "dave"}, refused},  // disabled
      // A member through a nested group only is no member.
      {{.user = "bob"}, "LDAP://CN=bob,CN=Users,DC=example,DC=test" + not_admin},
      {{.user = "patq"},
       "LDAP://CN=Pat O'Neil,CN=Users,DC=example,DC=test|CN=WebAdmins;|Server admins;|x"},
      {{.user = "annaj"}, "LDAP://CN=Anna Smith\\, Jr.,CN=Users,DC=example,DC=test" + not_admin},
      {{.user = "leet"}, "LDAP://CN=Lee \\<Tag\\>,CN=Users,DC=example,DC=test" + not_admin},
  };
  AdCase ad;
  for (const auto& [call, seen] : cases) EXPECT_EQ(ad.Call(call), seen);
}

// Whether the DC is reached: the trust and TLS settings, and the configured servers in order,
// past a first one that is dead, refusing or silent.
TEST(AdSignIn, TlsSettingsAndFailover) {
  Listener silent(Listener::Mode::kSilent);
  Listener closing(Listener::Mode::kClosing);
  const std::string ca = "ldap.tls_cacert = " + SambaDc::Get().ca_file().string();
  const std::string ldaps = "ldap.uri = ldaps://" + std::string(kDcHost);
  const std::string plain = "ldap.uri = ldap://" + std::string(kDcHost);
  const auto first = [](const std::string& uri) {
    std::vector<std::string> config = LdapsConfig();
    config[0] = "ldap.uri = " + uri + " ldaps://" + kDcHost;
    return config;
  };
  struct Case {
    std::vector<std::string> config;
    SignIn call;
    std::string seen;
  };
  const std::vector<Case> cases = {
      {{ldaps}, {}, kDown},  // an unknown CA
      {{ldaps, "ldap.tls_cacert = /nonexistent/ca.pem"}, {}, kDown},
      {{ldaps, "ldap.tls_reqcert = never"}, {}, kAliceAdmin},
      // The refusal names TLS, not the password.
      {{plain}, {}, "|||x - -2147016659,This request requires a secure connection."},
      {{plain, "ldap.starttls = demand", ca}, {}, kAliceAdmin},
      {{plain, "ldap.starttls = demand", ca},
       {.domain = "LDAP://dc1.example.test/DC=example,DC=test"},
       kAtDc1},
      {first("ldaps://" + closing.server()), {}, kAliceAdmin},
      {first("ldaps://" + silent.server()), {}, kAliceAdmin},
      {first("ldap://" + silent.server()), {}, kAliceAdmin},  // never answers StartTLS
  };
  for (const Case& c : cases) {
    AdCase ad(c.config);
    EXPECT_EQ(ad.Call(c.call), c.seen) << c.config[0];
  }
  EXPECT_GT(silent.connections(), 0);
  EXPECT_GT(closing.connections(), 0);
}

// A server that only the caller names is reached only when the configuration allows it.
TEST(AdSignIn, NamedServerMustBeConfigured) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"", false}, {"other.example.test", false}, {"127.0.0.1", true}, {"*", true}};
  for (const auto& [allowed, contacted] : cases) {
    Listener stranger(Listener::Mode::kClosing);
    std::vector<std::string> config = LdapsConfig();
    if (!allowed.empty()) config.push_back("ldap.allowed_servers = " + allowed);
    AdCase ad(config);
    const std::string seen =
        ad.Call({.domain = "LDAP://" + stranger.server() + "/DC=example,DC=test"});
    if (!contacted) {
      EXPECT_EQ(seen, kDown);
    }
    EXPECT_EQ(stranger.connections() > 0, contacted) << allowed;
  }
}

// Sign-in searches from the domain's root and asks for external referrals only: the reference
// to the configuration partition must neither fail it nor be followed.
TEST(AdSignIn, PassesOverUnfollowableReferences) {
  for (const char* address : {"127.0.0.1", "", "127.0.0.2"}) {
    SambaDc::Get().ResolveDomainNameTo(address);
    EXPECT_EQ(AdCase().Call({}), kAliceAdmin) << address;
  }
  SambaDc::Get().ResolveDomainNameTo("127.0.0.1");
}

// A Windows DC hands out a large group's members a window at a time, whether asked or not.
TEST(AdSignIn, LargeGroupInWindows) {
  Listener relay(Listener::Mode::kRelay);
  AdCase ad({"ldap.uri = ldap://" + relay.server()});
  EXPECT_EQ(ad.Call({.admin_group = "Crowd"}),
            std::string(kAlicePath) + "|CN=Crowd;|A large group;|x");
  auto members = ad.platform->GetObject("LDAP://CN=Crowd,CN=Users,DC=example,DC=test")->Members();
  int count = 0;
  while (members->Next()) ++count;
  EXPECT_EQ(count, kBulkMembers + 1);
}

}  // namespace
}  // namespace brindlecore::testing
