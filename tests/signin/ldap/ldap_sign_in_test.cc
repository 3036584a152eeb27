// Sign-in against a real slapd, with profile groups in a local account database.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/automation/errors.h"
#include "support/slapd_server.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";

struct SignIn {
  std::string domain = "LDAP://RootDSE";
  std::string computer = kComputer;
  std::string user = "jdoe";
  std::string password = "pw1";
  std::string login_type = "ServerAdministrator";
  std::string admin_group = "WebAdmins";
};

class LdapSignInTest : public RootTest {
 protected:
  LdapSignInTest() {
    server_.WriteConfig(dir_.path());
    const std::string staff = server_.AddOu("Staff");
    const std::string jdoe = server_.AddUser("John Doe", "jdoe", "pw1", "John", "Doe", staff);
    server_.AddUser("Ann Smith", "ann", "pw2", "Ann", "Smith", staff);
    server_.AddUser("Pat O'Brien", "o'brien", "pw3", "Pat", "O'Brien", staff);
    server_.AddGroup("Web Admins", "WebAdmins", "Server admins", {jdoe});
    accounts_.Computer(kComputer)
        .Group(kComputer, "QZW3SVC1", "Sales")
        .Group(kComputer, "QZMULTI2", "Partners")
        .Group(kComputer, "QZW3SVC3", "Other case")
        .Member(kComputer, "QZW3SVC1", "EXAMPLE/jdoe")
        .Member(kComputer, "QZMULTI2", "EXAMPLE/jdoe")
        .Member(kComputer, "QZW3SVC3", "EXAMPLE/JDOE");
    platform_ = platform::MakePlatform(dir_.path());
  }

  // Result, group list, group names and error text joined by "|"; the error text goes in as "x".
  static std::string Call(platform::Platform& platform, const SignIn& s) {
    CallOutcome out =
        CallMethod(platform, "AuthenticateUser",
                   {Val(Variant(s.computer)), Val(Variant(s.domain)), Val(Variant(s.user)),
                    Val(Variant(s.password)), Ref(Variant("list kept")), Ref(Variant("names kept")),
                    Val(Variant(s.admin_group)), Val(Variant(s.login_type)), Ref(Variant("x"))});
    if (out.error) return "!" + out.error->description;
    return ToText(out.result) + "|" + out.text(4) + "|" + out.text(5) + "|" + out.text(8);
  }

  SlapdServer server_;
};

TEST_F(LdapSignInTest, OutcomesOfOneCall) {
  const std::string jdoe = "LDAP://CN=John Doe,OU=Staff,DC=example,DC=test";
  const std::string ann = "LDAP://CN=Ann Smith,OU=Staff,DC=example,DC=test";
  // A success leaves the caller's error text as it was.
  const std::string admin = jdoe + "|CN=Web Admins;|Server admins;|x";
  const std::string profile_admin = jdoe + "|W3SVC1;MULTI2;|Sales;Partners;|x";
  const std::string refused = "|||Username/password does not exist.";
  const std::string no_row = "|||x - -1,Login credentials (username and/or password) incorrect.";
  const char kProfile[] = "ProfileAdministrator";
  const std::vector<std::pair<SignIn, std::string>> cases = {
      {{}, admin},
      {{.user = "EXAMPLE\\jdoe"}, admin},
      // Only a backslash past the first character ends a domain part.
      {{.user = "E\\jdoe"}, admin},
      {{.user = "ann", .password = "pw2"},
       ann + "|||User Authenticated, but Group Membership Incorrect for Server Administrator."},
      {{.admin_group = "NoSuchGroup"},
       jdoe + "|||x - -1,Server Admin Group specified on Authentication Provider setup does not "
              "exist."},
      // The test directory binds no principal names, so the refusal comes before the search.
      {{.user = "jdoe@example.test"}, refused},
      {{.password = "nope"}, refused},
      // The quote goes into the select text as typed, and the broken text fails through the trap.
      {{.user = "o'brien", .password = "pw3"},
       "|||x - -2147217900,One or more errors occurred during processing of command."},
      // Profile administrators are read from the local database.
      {{.login_type = kProfile}, profile_admin},
      {{.domain = "LDAP://OU=Staff,DC=example,DC=test",
        .user = "EXAMPLE\\jdoe",
        .login_type = kProfile},
       profile_admin},
      {{.user = "ann", .password = "pw2", .login_type = kProfile},
       ann + "|||User Authenticated, but Group Membership Incorrect for Profile Administrator."},
      {{.computer = "NOSUCH", .login_type = kProfile},
       jdoe + "|||x - -1,Could not connect to local Windows NT/2000 user database."},
      // Only the exact spelling means the default naming context.
      {{.domain = "LDAP://rootDSE"}, no_row},
  };
  for (const auto& [call, seen] : cases) EXPECT_EQ(Call(*platform_, call), seen);
}

TEST_F(LdapSignInTest, UnreadableRowCountsAsNoRow) {
  FaultPlatform faults(*platform_);
  faults.Fail("Field", "", 1, errors::kAdErrItemNotFound.Make(), "AdsPath");
  EXPECT_EQ(Call(faults, {}), "|||x - -1,Login credentials (username and/or password) incorrect.");
  EXPECT_TRUE(faults.AllFired());
}

}  // namespace
}  // namespace brindlecore::testing
