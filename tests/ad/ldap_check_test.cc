// `brindlecore ldap check` against the domain controller, with good and broken set-ups.
#include <gtest/gtest.h>

#include <fstream>

#include "ad/ad_case.h"
#include "ad/listener.h"
#include "support/command.h"

namespace brindlecore::testing {
namespace {

const std::string kServiceStep = std::string("  ok    bind as ") + kServiceDn + ": accepted\n";
const std::string kGoodTls =
    "  ok    resolve dc1.example.test: 127.0.0.1\n"
    "  ok    connect to 127.0.0.1 port 636: connected\n"
    "  ok    TLS (ldaps): certificate trusted, names: CN dc1.example.test, DNS dc1.example.test, "
    "DNS example.test\n";

TEST(AdLdapCheck, ExplainsEachStep) {
  const std::string ca = "ldap.tls_cacert = " + SambaDc::Get().ca_file().string();
  const std::string ldaps = "ldap.uri = ldaps://dc1.example.test";
  const int unused = UnusedPort();
  struct Case {
    const char* name;
    std::vector<std::string> config;
    std::string password_file_text;  // "" keeps the right one
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"all good, with a user",
       {ldaps, ca},
       "",
       {"alice"},
       0,
       "ldaps://dc1.example.test\n" + kGoodTls + kServiceStep +
           "  ok    RootDSE naming context: DC=example,DC=test\n"
           "  ok    search (sAMAccountName=alice): CN=Alice Smith,CN=Users,DC=example,DC=test\n"
           "  ok    bind as CN=Alice Smith,CN=Users,DC=example,DC=test: password accepted\n"
           "all steps passed\n"},
      {"missing CA file",
       {ldaps, "ldap.tls_cacert = /nonexistent/ca.pem"},
       "",
       {},
       1,
       "ldaps://dc1.example.test\n"
       "  ok    resolve dc1.example.test: 127.0.0.1\n"
       "  ok    connect to 127.0.0.1 port 636: connected\n"
       "  FAIL  TLS: the CA file \"/nonexistent/ca.pem\" cannot be read\n"
       "        to fix: set ldap.tls_cacert to the PEM file of the CA that signed the server's "
       "certificate\n"
       "some steps failed\n"},
      {"wrong service password",
       {ldaps, ca},
       "not-the-password\n",
       {},
       1,
       "ldaps://dc1.example.test\n" + kGoodTls + "  FAIL  bind as " + kServiceDn +
           ": Invalid credentials (wrong password)\n"
           "        to fix: check ldap.bind_dn and the password in the file "
           "ldap.bind_password_file names\n"
           "some steps failed\n"},
      {"unreachable server",
       {"ldap.uri = ldaps://127.0.0.1:" + std::to_string(unused), ca},
       "",
       {},
       1,
       "ldaps://127.0.0.1:" + std::to_string(unused) +
           "\n"
           "  ok    resolve 127.0.0.1: 127.0.0.1\n"
           "  FAIL  connect to 127.0.0.1 port " +
           std::to_string(unused) +
           ": Connection refused\n"
           "        to fix: check that the directory server runs and that no firewall blocks the "
           "port; ldaps listens on 636, ldap on 389\n"
           "some steps failed\n"},
      {"unknown host",
       {"ldap.uri = ldaps://nosuch.example.test", ca},
       "",
       {},
       1,
       "ldaps://nosuch.example.test\n"
       "  FAIL  resolve nosuch.example.test: Temporary failure in name resolution\n"
       "        to fix: check the host name in ldap.uri and that DNS (or /etc/hosts) knows it\n"
       "some steps failed\n"},
      {"no TLS",
       {"ldap.uri = ldap://dc1.example.test", ca},
       "",
       {},
       1,
       "ldap://dc1.example.test\n"
       "  ok    resolve dc1.example.test: 127.0.0.1\n"
       "  ok    connect to 127.0.0.1 port 389: connected\n"
       "  note  no TLS: passwords cross the network in clear text; Active Directory refuses them "
       "(use ldaps:// or ldap.starttls = demand)\n"
       "  FAIL  bind as " +
           std::string(kServiceDn) +
           ": Strong(er) authentication required (BindSimple: Transport encryption required.)\n"
           "        to fix: the server takes passwords only over TLS: use an ldaps:// URI in "
           "ldap.uri or set ldap.starttls = demand\n"
           "some steps failed\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AdCase ad(c.config);
    if (!c.password_file_text.empty()) {
      std::ofstream(ad.root() / "ldap-service.password", std::ios::trunc) << c.password_file_text;
    }
    std::vector<std::string> args = {"ldap", "check"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CommandOutcome out = RunCommand(ad.root(), args, std::string(kUserPassword) + "\n");
    EXPECT_EQ(out.status, c.status) << out.err;
    EXPECT_EQ(out.out, c.out);
  }
}

}  // namespace
}  // namespace brindlecore::testing
