#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kDomain[] = "WinNT://WEBSRV1";
constexpr char kPassword[] = "s3cret!";
constexpr char kServerRefusal[] =
    "User Authenticated, but Group Membership Incorrect for Server Administrator.";
constexpr char kProfileRefusal[] =
    "User Authenticated, but Group Membership Incorrect for Profile Administrator.";

// Argument positions of AuthenticateUser.
enum { kResultComputer, kNtDomain, kUser, kPass, kList, kNames, kAdminGroup, kLoginType, kError };

struct SignIn {
  Variant computer = Variant("LOCAL");
  Variant domain = Variant(kDomain);
  Variant user = Variant("bob");
  Variant password = Variant(kPassword);
  Variant admin_group = Variant("Administrators");
  Variant login_type = Variant("ProfileAdministrator");
  Variant error_in = Variant("");
};

CallOutcome Call(platform::Platform& platform, const SignIn& s) {
  return CallMethod(
      platform, "AuthenticateUser",
      {Val(s.computer), Val(s.domain), Val(s.user), Val(s.password), Ref(Variant("list kept")),
       Ref(Variant("names kept")), Val(s.admin_group), Val(s.login_type), Ref(s.error_in)});
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

  CallOutcome Call(const SignIn& s) { return testing::Call(*platform_, s); }
};

// Argument checks stop at the first failure and keep the caller's lists; past them the lists
// are emptied, and the provider is recognised by its first characters only.
TEST_F(SignInTest, OutcomesOfOneCall) {
  struct Case {
    const char* name;
    SignIn call;
    std::string result, list, names, error;
  };
  const Variant null = Variant::Null();
  const Variant empty;
  const Variant blank = Variant("   ");
  const std::string kept = "list kept", names = "names kept";
  const char kLogonFailure[] = " - -2147023570,Logon failure: unknown user name or bad password.";
  const char kBadProvider[] = "Invalid Authentication Provider String.";
  const char kBadCall[] = "x - 5,Invalid procedure call or argument";
  const Case cases[] = {
      {"all null",
       {null, null, null, null, null, null},
       "",
       kept,
       names,
       " - -1,Invalid NT Domain -- Null"},
      {"empty domain", {.domain = empty}, "", kept, names, " - -1,Invalid NT Domain -- Empty"},
      {"blank computer",
       {.computer = blank},
       "",
       kept,
       names,
       " - -1,Invalid Computer Name - 0 Length String"},
      {"blank user", {.user = blank}, "", kept, names, " - -1,Invalid User Name - 0 Length String"},
      {"null password after x",
       {.password = null, .error_in = Variant("x")},
       "",
       kept,
       names,
       "x - -1,Invalid Password -- Null"},
      {"empty admin group",
       {.admin_group = empty},
       "",
       kept,
       names,
       " - -1,Invalid Admin Group -- Empty"},
      {"null login type", {.login_type = null}, "", kept, names, " - -1,Login Type -- Null"},
      {"lower-case login type",
       {.login_type = Variant("profileadministrator")},
       "",
       kept,
       names,
       " - -1,Login Type should be ServerAdministrator or ProfileAdministrator"},
      {"lower-case provider",
       {.domain = Variant("winnt://WEBSRV1"), .error_in = Variant("x")},
       "",
       "",
       "",
       kBadProvider},
      {"padded provider",
       {.domain = Variant(" WinNT://WEBSRV1"), .error_in = Variant("x")},
       "",
       "",
       "",
       kBadProvider},
      {"bare WinNT", {.domain = Variant("WinNT"), .error_in = Variant("x")}, "", "", "", kBadCall},
      {"WinNT:/", {.domain = Variant("WinNT:/"), .error_in = Variant("x")}, "", "", "", kBadCall},
      {"wrong password", {.password = Variant("wrong")}, "", "", "", kLogonFailure},
      // The bind user becomes WEBSRV1\WEBSRV1\bob.
      {"user with domain", {.user = Variant("WEBSRV1\\bob")}, "", "", "", kLogonFailure},
      // A tab is not blank: it reaches the directory.
      {"user after a tab", {.user = Variant("\tbob")}, "", "", "", kLogonFailure},
      {"every profile group in order, old text dropped",
       {.error_in = Variant("x")},
       "bob",
       "W3SVC1;MULTI4;W3SVC5;",
       "Sales;Partners;Support;",
       ""},
      {"server admin outside the group",
       {.login_type = Variant("ServerAdministrator")},
       "bob",
       "",
       "",
       kServerRefusal},
      {"group padded in the directory",
       {.admin_group = Variant("Admins"), .login_type = Variant("ServerAdministrator")},
       "bob",
       " Admins ;",
       "Padded;",
       ""},
      {"padded admin group argument",
       {.admin_group = Variant(" Admins "), .login_type = Variant("ServerAdministrator")},
       "bob",
       "",
       "",
       kServerRefusal},
      {"another member of one group",
       {.user = Variant("alice"), .password = Variant("other")},
       "alice",
       "W3SVC1;",
       "Sales;",
       ""},
      {"profile admin in no profile group",
       {.user = Variant("carol"), .password = Variant("c")},
       "carol",
       "",
       "",
       kProfileRefusal},
      {"name typed in another case", {.user = Variant("BOB")}, "BOB", "", "", kProfileRefusal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallOutcome out = Call(c.call);
    ASSERT_FALSE(out.error);
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(kList), c.list);
    EXPECT_EQ(out.text(kNames), c.names);
    EXPECT_EQ(out.text(kError), c.error);
  }
}

TEST_F(SignInTest, TextAfterLdapGoesToTheDirectoryAndFailsThroughTheTrap) {
  CallOutcome out = Call({.domain = Variant("LDAPgarbage")});

  EXPECT_EQ(out.result, Variant(""));
  EXPECT_EQ(out.text(kError).rfind(" - -", 0), 0u) << out.text(kError);
  EXPECT_EQ(out.text(kList), "");
}

TEST_F(SignInTest, PlatformFailuresAndWhatTheyLeaveBehind) {
  struct Rule {
    const char* operation;
    const char* path;
    int nth;
    AutomationError error;
  };
  struct Case {
    const char* name;
    std::vector<Rule> rules;
    std::string result, list, names, error;
  };
  const Case cases[] = {
      {"search permission refused",
       {{"OpenDSObject", "", 1, errors::kDbSecEPermissiondenied.Make()}},
       "",
       "",
       "",
       "Username/password does not exist."},
      // alice, before bob in QZW3SVC1, is unreadable; QZMULTI4's description fails after its entry.
      {"failures inside the member walk skip only that member",
       {{"Name", "WinNT://WEBSRV1/alice", 0, errors::kErrorDsOperationsError.Make()},
        {"Description", "QZMULTI4", 1, errors::kEAdsPropertyNotFound.Make()}},
       "bob",
       "W3SVC1;MULTI4;W3SVC5;",
       "Sales;Support;",
       ""},
      {"group unreadable outside the walk keeps entries so far",
       {{"Name", "QZMULTI4", 1, errors::kErrorDsOperationsError.Make()}},
       "bob",
       "W3SVC1;",
       "Sales;",
       "x - -2147016672,An operations error occurred."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultPlatform faults(*platform_);
    for (const Rule& r : c.rules) faults.Fail(r.operation, r.path, r.nth, r.error);

    CallOutcome out = testing::Call(faults, {.error_in = Variant("x")});

    EXPECT_TRUE(faults.AllFired());
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(kList), c.list);
    EXPECT_EQ(out.text(kNames), c.names);
    EXPECT_EQ(out.text(kError), c.error);
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
  CallOutcome out = Call({});

  EXPECT_EQ(out.result, Variant(""));
  EXPECT_EQ(out.text(kError), " - -1,Login credentials (username and/or password) incorrect.");
}

CallOutcome GroupList(platform::Platform& platform, Variant domain, Variant user, Variant type) {
  return CallMethod(
      platform, "GetGroupList",
      {Val(std::move(domain)), Val(std::move(user)), Val(std::move(type)), Ref(Variant("x"))});
}

TEST_F(SignInTest, GroupListHoldsTheGroupsOfTheLoginType) {
  struct Case {
    Variant user, login_type;
    std::string result;
  };
  const Case cases[] = {
      {Variant("bob"), Variant("ProfileAdministrator"), "QZW3SVC1;QZW3SVC5;"},
      {Variant("alice"), Variant("ServerAdministrator"), "Administrators\r\n"},
      {Variant("bob"), Variant("ServerAdministrator"), ""},
      {Variant("bob"), Variant("profileadministrator"), ""},
      {Variant::Null(), Variant("ProfileAdministrator"), ""},
      {Variant("Bob"), Variant("ProfileAdministrator"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ConcatText(c.user) + "/" + ConcatText(c.login_type));
    CallOutcome out = GroupList(*platform_, Variant(kComputer), c.user, c.login_type);
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(3), "x");
  }
}

// Inside the walks nothing is reported: an unreadable member or member list just does not count,
// and a failed step ends that walk after the members read before it. A group name read outside
// the walks goes to the trap.
TEST_F(SignInTest, GroupListFailures) {
  const AutomationError ops = errors::kErrorDsOperationsError.Make();
  struct Case {
    const char* name;
    std::string computer;
    std::vector<std::tuple<const char*, const char*, int, AutomationError>> rules;
    std::string result, error;
  };
  const Case cases[] = {
      {"unknown computer", "NOSUCH", {}, "", "The network path was not found. on Binding Attempt"},
      {"filter",
       kComputer,
       {{"SetFilter", "", 1, errors::kEAdsPropertyNotSupported.Make()}},
       "",
       "The specified directory property is not supported on Filtering Groups"},
      {"member and member list",
       kComputer,
       {{"Name", "WinNT://WEBSRV1/bob", 1, ops}, {"Members", "QZW3SVC5", 1, ops}},
       "",
       "x"},
      {"a walk cut short", kComputer, {{"Next", "QZW3SVC1", 3, ops}}, "QZW3SVC1;QZW3SVC5;", "x"},
      {"a group name",
       kComputer,
       {{"Name", "QZW3SVC5", 1, ops}},
       "",
       "x - -2147016672,An operations error occurred."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultPlatform faults(*platform_);
    for (const auto& [operation, path, nth, error] : c.rules)
      faults.Fail(operation, path, nth, error);
    CallOutcome out =
        GroupList(faults, Variant(c.computer), Variant("bob"), Variant("ProfileAdministrator"));
    EXPECT_TRUE(faults.AllFired());
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(3), c.error);
  }
}

}  // namespace
}  // namespace brindlecore::testing
