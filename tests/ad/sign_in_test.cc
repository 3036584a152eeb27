// Sign-in against the domain controller, through every path form and user-name form.
#include <gtest/gtest.h>

#include "ad/ad_case.h"
#include "ad/listener.h"

namespace brindlecore::testing {
namespace {

constexpr char kNotAdmin[] =
    "User Authenticated, but Group Membership Incorrect for Server Administrator.";
constexpr char kRefused[] = "Username/password does not exist.";
constexpr char kNoRow[] = "x - -1,Login credentials (username and/or password) incorrect.";
const SignInOutcome kAliceAdmin{kAlicePath, "CN=WebAdmins;", "Server admins;", "x"};

struct Case {
  const char* name;
  SignIn call;
  SignInOutcome expected;
};

void RunCases(AdCase& ad, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ad.Call(c.call), c.expected);
  }
}

TEST(AdSignIn, PathAndUserNameForms) {
  AdCase ad;
  RunCases(ad, {
                   {"RootDSE", {}, kAliceAdmin},
                   {"domain DN", {.domain = "LDAP://DC=example,DC=test"}, kAliceAdmin},
                   {"named server",
                    {.domain = "LDAP://dc1.example.test/DC=example,DC=test"},
                    {"LDAP://dc1.example.test/CN=Alice Smith,CN=Users,DC=example,DC=test",
                     "CN=WebAdmins;", "Server admins;", "x"}},
                   {"named server and port",
                    {.domain = "LDAP://dc1.example.test:636/DC=example,DC=test"},
                    {"LDAP://dc1.example.test:636/CN=Alice Smith,CN=Users,DC=example,DC=test",
                     "CN=WebAdmins;", "Server admins;", "x"}},
                   {"domain prefix", {.user = "EXAMPLE\\alice"}, kAliceAdmin},
                   // The directory takes both binds; the row is then looked up by account name.
                   {"principal name", {.user = "alice@example.test"}, {"", "", "", kNoRow}},
                   {"distinguished name",
                    {.user = "CN=Alice Smith,CN=Users,DC=example,DC=test"},
                    {"", "", "", kNoRow}},
                   {"wrong password", {.password = "Wrong-Passw0rd!"}, {"", "", "", kRefused}},
                   {"empty password",
                    {.password = ""},
                    {"", "", "", "x - -1,Invalid Password - 0 Length String"}},
                   {"unknown user", {.user = "nobody"}, {"", "", "", kRefused}},
                   {"disabled user", {.user = "dave"}, {"", "", "", kRefused}},
                   {"member through a nested group only",
                    {.user = "bob"},
                    {"LDAP://CN=bob,CN=Users,DC=example,DC=test", "", "", kNotAdmin}},
                   {"quote in the name",
                    {.user = "patq"},
                    {"LDAP://CN=Pat O'Neil,CN=Users,DC=example,DC=test", "CN=WebAdmins;",
                     "Server admins;", "x"}},
                   {"comma in the name",
                    {.user = "annaj"},
                    {"LDAP://CN=Anna Smith\\, Jr.,CN=Users,DC=example,DC=test", "", "", kNotAdmin}},
                   {"angle bracket in the name",
                    {.user = "leet"},
                    {"LDAP://CN=Lee \\<Tag\\>,CN=Users,DC=example,DC=test", "", "", kNotAdmin}},
               });
}

// A Windows DC hands out a large group's members a window at a time, whether asked or not.
TEST(AdSignIn, LargeGroupInWindows) {
  Listener relay(Listener::Mode::kRelay);
  AdCase ad({"ldap.uri = ldap://" + relay.server()});
  EXPECT_EQ(ad.Call({.admin_group = "Crowd"}),
            (SignInOutcome{kAlicePath, "CN=Crowd;", "A large group;", "x"}));
  auto members = ad.platform().GetObject("LDAP://CN=Crowd,CN=Users,DC=example,DC=test")->Members();
  int count = 0;
  while (members->Next()) ++count;
  EXPECT_EQ(count, kBulkMembers + 1);
}

TEST(AdSignIn, StartTlsOnTheConfiguredServer) {
  AdCase ad({"ldap.uri = ldap://" + std::string(kDcHost), "ldap.starttls = demand",
             "ldap.tls_cacert = " + SambaDc::Get().ca_file().string()});
  RunCases(ad, {{"RootDSE", {}, kAliceAdmin},
                {"named server",
                 {.domain = "LDAP://dc1.example.test/DC=example,DC=test"},
                 {"LDAP://dc1.example.test/CN=Alice Smith,CN=Users,DC=example,DC=test",
                  "CN=WebAdmins;", "Server admins;", "x"}}});
}

TEST(AdSignIn, ProfileAdministratorsFromLocalGroups) {
  AdCase ad;
  ad.accounts()
      .Group(kComputer, "QZW3SVC1", "Sales")
      .Group(kComputer, "QZMULTI2", "Partners")
      .Member(kComputer, "QZW3SVC1", "EXAMPLE/alice")
      .Member(kComputer, "QZMULTI2", "EXAMPLE/alice");
  RunCases(ad,
           {{"in two local groups",
             {.login_type = "ProfileAdministrator"},
             {kAlicePath, "W3SVC1;MULTI2;", "Sales;Partners;", "x"}},
            {"in none",
             {.user = "bob", .login_type = "ProfileAdministrator"},
             {"LDAP://CN=bob,CN=Users,DC=example,DC=test", "", "",
              "User Authenticated, but Group Membership Incorrect for Profile Administrator."}}});
}

constexpr char kDown[] = "x - -2147016646,The server is not operational.";

// How the trust and TLS settings decide whether the DC is reached at all.
TEST(AdSignIn, TlsSettings) {
  const std::string ldaps = "ldap.uri = ldaps://" + std::string(kDcHost);
  const std::string plain = "ldap.uri = ldap://" + std::string(kDcHost);
  struct Case {
    const char* name;
    std::vector<std::string> config;
    SignInOutcome expected;
  };
  const std::vector<Case> cases = {
      {"unknown CA refused", {ldaps}, {"", "", "", kDown}},
      {"missing CA file", {ldaps, "ldap.tls_cacert = /nonexistent/ca.pem"}, {"", "", "", kDown}},
      {"unchecked certificate when asked", {ldaps, "ldap.tls_reqcert = never"}, kAliceAdmin},
      // The refusal names TLS, not the password.
      {"password bind without TLS",
       {plain},
       {"", "", "", "x - -2147016659,This request requires a secure connection."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AdCase ad(c.config);
    EXPECT_EQ(ad.Call({}), c.expected);
  }
}

}  // namespace
}  // namespace brindlecore::testing
