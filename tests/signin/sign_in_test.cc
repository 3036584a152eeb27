#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kPassword[] = "s3cret!";
constexpr char kServerRefusal[] =
    "User Authenticated, but Group Membership Incorrect for Server Administrator.";
constexpr char kProfileRefusal[] =
    "User Authenticated, but Group Membership Incorrect for Profile Administrator.";

struct SignIn {
  Variant computer = Variant("LOCAL");
  Variant domain = Variant("WinNT://WEBSRV1");
  Variant user = Variant("bob");
  Variant password = Variant(kPassword);
  Variant admin_group = Variant("Administrators");
  Variant login_type = Variant("ProfileAdministrator");
  Variant error_in = Variant("");
};

// Result, group list, group names and error text joined by "|"; the lists go in as "list kept"
// and "names kept".
std::string Call(platform::Platform& platform, const SignIn& s) {
  CallOutcome out = CallMethod(
      platform, "AuthenticateUser",
      {Val(s.computer), Val(s.domain), Val(s.user), Val(s.password), Ref(Variant("list kept")),
       Ref(Variant("names kept")), Val(s.admin_group), Val(s.login_type), Ref(s.error_in)});
  if (out.error) return "!" + out.error->description;
  EXPECT_TRUE(out.result.IsString());
  return ToText(out.result) + "|" + out.text(4) + "|" + out.text(5) + "|" + out.text(8);
}

class SignInTest : public RootTest {
 protected:
  SignInTest() {
    accounts_.Computer(kComputer)
        .User(kComputer, "alice", "other")
        .User(kComputer, "bob", kPassword)
        .User(kComputer, "carol", "c")
        .Group(kComputer, "QZW3SVC1", "Sales")
        .Group(kComputer, "qzw3svc9", "Not a profile group")
        .Group(kComputer, "QZMULTI4", "Partners")
        .Group(kComputer, " Admins ", "Padded")
        .Member(kComputer, "QZW3SVC1", "alice")
        .Member(kComputer, "QZW3SVC1", "bob")
        .Member(kComputer, "qzw3svc9", "bob")
        .Member(kComputer, "QZMULTI4", "bob")
        .Member(kComputer, " Admins ", "bob")
        .Group(kComputer, "QZW3SVC5", "Support")
        .Member(kComputer, "QZW3SVC5", "bob")
        .Member(kComputer, "Administrators", "alice");
  }
};

// Argument checks stop at the first failure and keep the caller's lists; past them the lists
// are emptied, and the provider is recognised by its first characters only.
TEST_F(SignInTest, OutcomesOfOneCall) {
  const Variant null = Variant::Null(), empty, blank = Variant("   "), x = Variant("x");
  const Variant server = Variant("ServerAdministrator");
  const std::string kept = "|list kept|names kept|";
  const std::string logon_failure =
      "||| - -2147023570,Logon failure: unknown user name or bad password.";
  const std::string bad_call = "|||x - 5,Invalid procedure call or argument";
  const std::string bad_provider = "|||Invalid Authentication Provider String.";
  const std::vector<std::pair<SignIn, std::string>> cases = {
      {{null, null, null, null, null, null}, kept + " - -1,Invalid NT Domain -- Null"},
      {{.computer = blank}, kept + " - -1,Invalid Computer Name - 0 Length String"},
      {{.user = blank}, kept + " - -1,Invalid User Name - 0 Length String"},
      {{.password = null, .error_in = x}, kept + "x - -1,Invalid Password -- Null"},
      {{.admin_group = empty}, kept + " - -1,Invalid Admin Group -- Empty"},
      {{.login_type = null}, kept + " - -1,Login Type -- Null"},
      {{.login_type = Variant("profileadministrator")},
       kept + " - -1,Login Type should be ServerAdministrator or ProfileAdministrator"},
      {{.domain = Variant("winnt://WEBSRV1"), .error_in = x}, bad_provider},
      {{.domain = Variant("WinNT:/"), .error_in = x}, bad_call},
      // Text after "LDAP" goes to the directory and fails through the trap.
      {{.domain = Variant("LDAPgarbage")},
       "||| - -2147463168,An invalid directory pathname was passed"},
      {{.password = Variant("wrong")}, logon_failure},
      // The bind user becomes WEBSRV1\WEBSRV1\bob.
      {{.user = Variant("WEBSRV1\\bob")}, logon_failure},
      // A tab is not blank: it reaches the directory.
      {{.user = Variant("\tbob")}, logon_failure},
      // Every profile group in order; the old error text is dropped.
      {{.error_in = x}, "bob|W3SVC1;MULTI4;W3SVC5;|Sales;Partners;Support;|"},
      {{.login_type = server}, std::string("bob|||") + kServerRefusal},
      // The group's name is padded in the directory, not in the argument.
      {{.admin_group = Variant("Admins"), .login_type = server}, "bob| Admins ;|Padded;|"},
      {{.admin_group = Variant(" Admins "), .login_type = server},
       std::string("bob|||") + kServerRefusal},
      {{.user = Variant("alice"), .password = Variant("other")}, "alice|W3SVC1;|Sales;|"},
      {{.user = Variant("carol"), .password = Variant("c")},
       std::string("carol|||") + kProfileRefusal},
      {{.user = Variant("BOB")}, std::string("BOB|||") + kProfileRefusal},
  };
  for (const auto& [call, seen] : cases) EXPECT_EQ(Call(*platform_, call), seen);
}

TEST_F(SignInTest, PlatformFailuresAndWhatTheyLeaveBehind) {
  using Rule = std::tuple<const char*, const char*, int, AutomationError>;
  const AutomationError ops = errors::kErrorDsOperationsError.Make();
  const std::vector<std::pair<std::vector<Rule>, std::string>> cases = {
      {{{"OpenDSObject", "", 1, errors::kDbSecEPermissiondenied.Make()}},
       "|||Username/password does not exist."},
      // Failures inside the member walk skip only that member: alice, before bob in QZW3SVC1,
      // is unreadable; QZMULTI4's description fails after its entry.
      {{{"Name", "WinNT://WEBSRV1/alice", 0, ops},
        {"Description", "QZMULTI4", 1, errors::kEAdsPropertyNotFound.Make()}},
       "bob|W3SVC1;MULTI4;W3SVC5;|Sales;Support;|"},
      // A group unreadable outside the walk keeps the entries so far.
      {{{"Name", "QZMULTI4", 1, ops}},
       "bob|W3SVC1;|Sales;|x - -2147016672,An operations error occurred."},
  };
  for (const auto& [rules, seen] : cases) {
    FaultPlatform faults(*platform_);
    for (const auto& [operation, path, nth, error] : rules)
      faults.Fail(operation, path, nth, error);
    EXPECT_EQ(Call(faults, {.error_in = Variant("x")}), seen);
    EXPECT_TRUE(faults.AllFired()) << seen;
  }
}

TEST_F(SignInTest, DatabaseWithoutGroupsCountsAsRefusedCredentials) {
  {
    auto computer = platform_->GetObject("WinNT://WEBSRV1,computer");
    for (const char* g :
         {"Administrators", "Users", "QZW3SVC1", "qzw3svc9", "QZMULTI4", " Admins ", "QZW3SVC5"}) {
      computer->Delete("group", g);
    }
  }
  EXPECT_EQ(Call(*platform_, {}),
            "||| - -1,Login credentials (username and/or password) incorrect.");
}

// The list and the error text, joined by "|"; the error text goes in as "x".
std::string GroupList(platform::Platform& platform, const std::string& computer, Variant user,
                      const char* login_type) {
  CallOutcome out = CallMethod(
      platform, "GetGroupList",
      {Val(Variant(computer)), Val(std::move(user)), Val(Variant(login_type)), Ref(Variant("x"))});
  if (out.error) return "!" + out.error->description;
  EXPECT_TRUE(out.result.IsString());
  return ToText(out.result) + "|" + out.text(3);
}

TEST_F(SignInTest, GroupListHoldsTheGroupsOfTheLoginType) {
  const char kProfile[] = "ProfileAdministrator", kServer[] = "ServerAdministrator";
  EXPECT_EQ(GroupList(*platform_, kComputer, Variant("bob"), kProfile), "QZW3SVC1;QZW3SVC5;|x");
  EXPECT_EQ(GroupList(*platform_, kComputer, Variant("alice"), kServer), "Administrators\r\n|x");
  EXPECT_EQ(GroupList(*platform_, kComputer, Variant("bob"), kServer), "|x");
  EXPECT_EQ(GroupList(*platform_, kComputer, Variant("bob"), "profileadministrator"), "|x");
  EXPECT_EQ(GroupList(*platform_, kComputer, Variant::Null(), kProfile), "|x");
  EXPECT_EQ(GroupList(*platform_, kComputer, Variant("Bob"), kProfile), "|x");
}

// Inside the walks nothing is reported: an unreadable member or member list just does not count,
// and a failed step ends that walk after the members read before it. A group name read outside
// the walks goes to the trap.
TEST_F(SignInTest, GroupListFailures) {
  using Rule = std::tuple<const char*, const char*, int, AutomationError>;
  const AutomationError ops = errors::kErrorDsOperationsError.Make();
  const std::vector<std::pair<std::vector<Rule>, std::string>> cases = {
      {{{"SetFilter", "", 1, errors::kEAdsPropertyNotSupported.Make()}},
       "|The specified directory property is not supported on Filtering Groups"},
      {{{"Name", "WinNT://WEBSRV1/bob", 1, ops}, {"Members", "QZW3SVC5", 1, ops}}, "|x"},
      {{{"Next", "QZW3SVC1", 3, ops}}, "QZW3SVC1;QZW3SVC5;|x"},
      {{{"Name", "QZW3SVC5", 1, ops}}, "|x - -2147016672,An operations error occurred."},
  };
  for (const auto& [rules, seen] : cases) {
    FaultPlatform faults(*platform_);
    for (const auto& [operation, path, nth, error] : rules)
      faults.Fail(operation, path, nth, error);
    EXPECT_EQ(GroupList(faults, kComputer, Variant("bob"), "ProfileAdministrator"), seen);
    EXPECT_TRUE(faults.AllFired()) << seen;
  }
  EXPECT_EQ(GroupList(*platform_, "NOSUCH", Variant("bob"), "ProfileAdministrator"),
            "|The network path was not found. on Binding Attempt");
}

}  // namespace
}  // namespace brindlecore::testing
