// Sign-in against a real slapd, with profile groups in a local account database.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/default_platform.h"
#include "support/dispatch.h"
#include "support/fault_platform.h"
#include "support/slapd_server.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kJdoePath[] = "LDAP://CN=John Doe,OU=Staff,DC=example,DC=test";
constexpr char kAnnPath[] = "LDAP://CN=Ann Smith,OU=Staff,DC=example,DC=test";

enum { kResult = -1, kList = 4, kNames = 5, kError = 8 };

struct SignIn {
  std::string domain = "LDAP://RootDSE";
  std::string computer = kComputer;
  std::string user = "jdoe";
  std::string password = "pw1";
  std::string admin_group = "WebAdmins";
  std::string login_type = "ServerAdministrator";
};

struct Expected {
  std::string result, list, names, error;
};

class LdapSignInTest : public ::testing::Test {
 protected:
  LdapSignInTest() : accounts_(dir_.path()) {
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

  CallOutcome Call(const SignIn& s) {
    return CallMethod(
        *platform_, "AuthenticateUser",
        {Val(Variant(s.computer)), Val(Variant(s.domain)), Val(Variant(s.user)),
         Val(Variant(s.password)), Ref(Variant("list kept")), Ref(Variant("names kept")),
         Val(Variant(s.admin_group)), Val(Variant(s.login_type)), Ref(Variant("x"))});
  }

  void Expect(const SignIn& s, const Expected& e) {
    CallOutcome out = Call(s);
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.result, Variant(e.result));
    EXPECT_EQ(out.text(kList), e.list);
    EXPECT_EQ(out.text(kNames), e.names);
    EXPECT_EQ(out.text(kError), e.error);
  }

  SlapdServer server_;
  TempDir dir_;
  AccountsFixture accounts_;
  std::unique_ptr<platform::Platform> platform_;
};

TEST_F(LdapSignInTest, OutcomesOfOneCall) {
  struct Case {
    const char* name;
    SignIn call;
    Expected expected;
  };
  const char kProfile[] = "ProfileAdministrator";
  const std::vector<Case> cases = {
      // A success leaves the caller's error text as it was.
      {"member", {}, {kJdoePath, "CN=Web Admins;", "Server admins;", "x"}},
      {"member with domain",
       {.user = "EXAMPLE\\jdoe"},
       {kJdoePath, "CN=Web Admins;", "Server admins;", "x"}},
      {"not a member",
       {.user = "ann", .password = "pw2"},
       {kAnnPath, "", "",
        "User Authenticated, but Group Membership Incorrect for Server Administrator."}},
      {"no such admin group",
       {.admin_group = "NoSuchGroup"},
       {kJdoePath, "", "",
        "x - -1,Server Admin Group specified on Authentication Provider setup does not exist."}},
      // The test directory binds no principal names, so the refusal comes before the search.
      {"principal name",
       {.user = "jdoe@example.test"},
       {"", "", "", "Username/password does not exist."}},
      {"wrong password", {.password = "nope"}, {"", "", "", "Username/password does not exist."}},
      // The quote goes into the select text as typed, and the broken text fails through the trap.
      {"quote in the name",
       {.user = "o'brien", .password = "pw3"},
       {"", "", "", "x - -2147217900,One or more errors occurred during processing of command."}},
      // Profile administrators are read from the local database.
      {"member of two local groups",
       {.login_type = kProfile},
       {kJdoePath, "W3SVC1;MULTI2;", "Sales;Partners;", "x"}},
      {"explicit search root and domain prefix",
       {.domain = "LDAP://OU=Staff,DC=example,DC=test",
        .user = "EXAMPLE\\jdoe",
        .login_type = kProfile},
       {kJdoePath, "W3SVC1;MULTI2;", "Sales;Partners;", "x"}},
      {"in no local group",
       {.user = "ann", .password = "pw2", .login_type = kProfile},
       {kAnnPath, "", "",
        "User Authenticated, but Group Membership Incorrect for Profile Administrator."}},
      {"local database missing",
       {.computer = "NOSUCH", .login_type = kProfile},
       {kJdoePath, "", "", "x - -1,Could not connect to local Windows NT/2000 user database."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Expect(c.call, c.expected);
  }
  // Only the exact spelling means the default naming context.
  CallOutcome spelled = Call({.domain = "LDAP://rootDSE"});
  EXPECT_EQ(spelled.result, Variant(""));
  EXPECT_EQ(spelled.text(kError).rfind("x - -", 0), 0u) << spelled.text(kError);
}

TEST_F(LdapSignInTest, UnreadableRowCountsAsNoRow) {
  FaultPlatform faults(*platform_);
  faults.Fail("Field", "", 1, errors::kAdErrItemNotFound.Make(), "AdsPath");

  CallOutcome out =
      CallMethod(faults, "AuthenticateUser",
                 {Val(Variant(kComputer)), Val(Variant("LDAP://RootDSE")), Val(Variant("jdoe")),
                  Val(Variant("pw1")), Ref(), Ref(), Val(Variant("WebAdmins")),
                  Val(Variant("ServerAdministrator")), Ref(Variant(""))});

  EXPECT_TRUE(faults.AllFired());
  EXPECT_EQ(out.result, Variant(""));
  EXPECT_EQ(out.text(kError), " - -1,Login credentials (username and/or password) incorrect.");
}

}  // namespace
}  // namespace brindlecore::testing
