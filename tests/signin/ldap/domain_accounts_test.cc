// Domain accounts in a real slapd, with profile groups in a local account database: signing in,
// adding them to a profile group, and listing them.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/automation/errors.h"
#include "support/listing_rows.h"
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

class DomainAccountsTest : public RootTest {
 protected:
  DomainAccountsTest() {
    server_.WriteConfig(dir_.path());
    const std::string staff = server_.AddOu("Staff");
    const std::string jdoe = server_.AddUser("John Doe", "jdoe", "pw1", "John", "Doe", staff);
    server_.AddUser("Ann Smith", "ann", "pw2", "Ann", "Smith", staff);
    server_.AddUser("Pat O'Brien", "o'brien", "pw3", "Pat", "O'Brien", staff);
    server_.AddUser("Bob Jones", "bob", "pw", "", "Jones", staff);
    server_.AddUser("Carl", "carl", "pw", "Carl", "", staff);
    server_.AddGroup("Web Admins", "WebAdmins", "Server admins", {jdoe});
    accounts_.Computer(kComputer)
        .Group(kComputer, "QZW3SVC1", "Sales")
        .Group(kComputer, "QZMULTI2", "Partners")
        .Group(kComputer, "QZW3SVC3", "Other case")
        .Group(kComputer, "QZW3SVC4", "Empty")
        .Member(kComputer, "QZW3SVC1", "EXAMPLE/jdoe")
        .Member(kComputer, "QZMULTI2", "EXAMPLE/jdoe")
        .Member(kComputer, "QZW3SVC3", "EXAMPLE/JDOE")
        .Member(kComputer, "QZW3SVC3", "INTRA/carl");
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
  static CallOutcome Add(platform::Platform& platform, const std::string& provider,
                         const std::string& user) {
    return CallMethod(platform, "AddUserToGroup",
                      {Val(Variant(provider)), Val(Variant(kComputer)), Val(Variant(user)),
                       Val(Variant("QZW3SVC4")), Ref(Variant("x"))});
  }

  SlapdServer server_;
};

TEST_F(DomainAccountsTest, SignInOutcomes) {
  const std::string jdoe = "LDAP://CN=John Doe,OU=Staff,DC=example,DC=test";
  const std::string ann = "LDAP://CN=Ann Smith,OU=Staff,DC=example,DC=test";
  // A success leaves the caller's error text as it was.
  const std::string profile_admin = jdoe + "|W3SVC1;MULTI2;|Sales;Partners;|x";
  const std::string refused = "|||Username/password does not exist.";
  const std::string no_row = "|||x - -1,Login credentials (username and/or password) incorrect.";
  const char kProfile[] = "ProfileAdministrator";
  const std::vector<std::pair<SignIn, std::string>> cases = {
      {{}, jdoe + "|CN=Web Admins;|Server admins;|x"},
      // Only a backslash past the first character ends a domain part.
      {{.user = "E\\jdoe"}, jdoe + "|CN=Web Admins;|Server admins;|x"},
      {{.user = "ann", .password = "pw2"},
       ann + "|||User Authenticated, but Group Membership Incorrect for Server Administrator."},
      {{.admin_group = "NoSuchGroup"},
       jdoe + "|||x - -1,Server Admin Group specified on Authentication Provider setup does not "
              "exist."},
      // The test directory binds no principal names, so the refusal comes before the search.
      {{.user = "jdoe@example.test"}, refused},
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

  FaultPlatform faults(*platform_);
  faults.Fail("Field", "", 1, errors::kAdErrItemNotFound.Make(), "AdsPath");
  EXPECT_EQ(Call(faults, {}), no_row);  // an unreadable row counts as none
  EXPECT_TRUE(faults.AllFired());
}

// The search base comes from the provider, RootDSE standing for the default naming context.
TEST_F(DomainAccountsTest, AddedByWinNtPathOnlyWhenTheDirectoryKnowsTheAccount) {
  const std::string absent = "-1 ,The user to add does not exist on the domain.";
  const std::tuple<const char*, const char*, std::string> cases[] = {
      {"LDAP://RootDSE", "EXAMPLE\\nobody", absent},
      // A second backslash stays in the account part, which then names nobody.
      {"LDAP://RootDSE", "EXAMPLE\\sub\\jdoe", absent},
      {"LDAP://OU=Staff,DC=example,DC=test", "EXAMPLE\\jdoe", ""},
      {"LDAP://RootDSE", "EXAMPLE\\jdoe",
       "-2147023518 ,The specified account name is already a member of the local group."},
  };
  for (const auto& [provider, user, error] : cases) {
    SCOPED_TRACE(std::string(provider) + " " + user);
    CallOutcome out = Add(*platform_, provider, user);
    EXPECT_EQ(out.result, Variant(error.empty()));
    EXPECT_EQ(out.text(4), error);
  }
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC4"), "jdoe");
  // A search failing at exactly this text shows which query the method asked for.
  FaultPlatform faults(*platform_);
  faults.Fail("SetCommandText",
              "select name, AdsPath from 'LDAP://DC=example,DC=test' where sAMAccountName='jdoe'",
              1, errors::kEAccessdenied.Make());
  EXPECT_EQ(Add(faults, "LDAP://RootDSE", "EXAMPLE\\jdoe").text(4),
            "-2147024891 ,Access is denied.");
  EXPECT_TRUE(faults.AllFired());
}

TEST_F(DomainAccountsTest, ImportAddsDomainAccountsAndRemovesThemByAccountName) {
  const std::string path = (dir_.path() / "import.txt").string();
  std::ofstream(path) << "+,EXAMPLE\\jdoe,QZW3SVC4\n-,OTHER\\jdoe,QZW3SVC4\n";

  CallOutcome out =
      CallMethod(*platform_, "ImportProfileAdmins",
                 {Val(Variant(path)), Val(Variant("LDAP://RootDSE")), Val(Variant(kComputer))});

  EXPECT_EQ(ToText(out.result),
            "<table><tr><td class=UserInfo2>File: " + path +
                " opened successfully.</td></tr><tr><td class=UserInfo2>Success: User "
                "EXAMPLE\\jdoe added to Profile Group QZW3SVC4</td></tr><tr><td "
                "class=UserInfo2>Success: User OTHER\\jdoe removed from Profile Group "
                "QZW3SVC4</td></tr></table>");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC4"), "");
}

// Rows name the domain and the display name: without givenName the name is shown, without sn as
// well. The root below the domain has no domain object: the label comes from the naming context.
// A member's groups are matched by account name whatever its domain part.
TEST_F(DomainAccountsTest, ListedRowsAndFailures) {
  using Rule = std::tuple<const char*, const char*, int, AutomationError>;
  struct Case {
    const char* provider;
    const char* show;
    std::vector<Rule> rules;
    std::string seen;
  };
  const auto picker = [](const std::string& account, const std::string& display) {
    return PickerRow("EXAMPLE\\" + account, "EXAMPLE\\\\" + account, "QZW3SVC2", display);
  };
  const std::string pickers = picker("jdoe", "John Doe") + picker("ann", "Ann Smith") +
                              picker("o'brien", "Pat O'Brien") + picker("bob", "Bob Jones") +
                              picker("carl", "Carl") + "|";
  const std::string jdoe = OverviewRow("EXAMPLE\\jdoe", "John Doe", "QZW3SVC1;");
  const std::vector<Case> cases = {
      {"LDAP://RootDSE", "false", {}, pickers},
      {"LDAP://OU=Staff,DC=example,DC=test", "false", {}, pickers},
      {"LDAP://RootDSE",
       "true",
       {},
       jdoe + OverviewRow("EXAMPLE\\ann", "Ann Smith", "") +
           OverviewRow("EXAMPLE\\o'brien", "Pat O'Brien", "") +
           OverviewRow("EXAMPLE\\bob", "Bob Jones", "") +
           OverviewRow("EXAMPLE\\carl", "Carl", "QZW3SVC3;") + "|"},
      // A failed group look-up ends the listing with the rows so far.
      {"LDAP://RootDSE",
       "true",
       {{"GetObject", "WinNT://WEBSRV1", 2, errors::kErrorDsServerDown.Make()}},
       jdoe + "<TR><TD class=TableRow>EXAMPLE\\ann</TD><TD class=TableRow>Ann Smith</TD>"
              "<TD class=TableRow>|-1 ,Error enumerating groups user belongs to. The server is "
              "not operational. on Binding Attempt"},
      {"LDAP://RootDSE",
       "false",
       {{"Execute", "objectClass=User", 1, errors::kDbSecEPermissiondenied.Make()}},
       "|-2147217911 ,Permission denied."},
  };
  for (const Case& c : cases) {
    FaultPlatform faults(*platform_);
    for (const auto& [operation, path, nth, error] : c.rules)
      faults.Fail(operation, path, nth, error);
    CallOutcome out =
        CallMethod(faults, "GetAllUsers",
                   {Val(Variant(c.provider)), Val(Variant(kComputer)), Val(Variant("QZW3SVC2")),
                    Val(Variant(c.show)), Ref(Variant(""))});
    EXPECT_EQ(ToText(out.result) + "|" + out.text(4), c.seen);
    EXPECT_TRUE(faults.AllFired());
  }
}

}  // namespace
}  // namespace brindlecore::testing
