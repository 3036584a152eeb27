#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kProvider[] = "WinNT://WEBSRV1";

struct Addition {
  Variant provider = Variant(kProvider);
  Variant computer = Variant(kComputer);
  Variant user = Variant("bob");
  Variant group = Variant("QZW3SVC1");
  Variant error_in = Variant("");
};

struct Removal {
  Variant computer = Variant(kComputer);
  Variant user = Variant("WinNT://WEBSRV1/bob");
  Variant group = Variant("QZW3SVC1");
};

class MembershipTest : public RootTest {
 protected:
  MembershipTest() {
    accounts_.Computer(kComputer)
        .User(kComputer, "alice")
        .User(kComputer, "bob")
        .Group(kComputer, "QZW3SVC1", "Sales")
        .Group(kComputer, "QZW3SVC2", "Support")
        .Member(kComputer, "QZW3SVC2", "bob");
  }

  CallOutcome Add(platform::Platform& platform, const Addition& a) {
    return CallMethod(
        platform, "AddUserToGroup",
        {Val(a.provider), Val(a.computer), Val(a.user), Val(a.group), Ref(a.error_in)});
  }
  CallOutcome Add(const Addition& a) { return Add(*platform_, a); }
  CallOutcome Remove(platform::Platform& platform, const Removal& r) {
    return CallMethod(platform, "RemoveUserFromGroup",
                      {Val(r.computer), Val(r.user), Val(r.group), Ref(Variant("x"))});
  }
  CallOutcome Remove(const Removal& r) { return Remove(*platform_, r); }
};

// The checks come first, so a check that let a call through would show as a second member.
TEST_F(MembershipTest, Addition) {
  struct Case {
    const char* name;
    Addition call;
    bool result;
    std::string error;
  };
  const Variant null = Variant::Null();
  const Variant empty;
  const std::string kMissingUser =
      "-1 ,The user you are trying to add does not exist. Create the user first with a Windows "
      "Administration tool.";
  const std::vector<Case> cases = {
      {"null provider", {.provider = null}, false, "-1 ,Invalid Provider String -- Null"},
      {"null provider after x",
       {.provider = null, .error_in = Variant("x")},
       false,
       "x -1 ,Invalid Provider String -- Null"},
      {"empty provider", {.provider = empty}, false, "-1 ,Invalid Provider String -- Empty"},
      {"bare WinNT",
       {.provider = Variant("WinNT")},
       false,
       "-1 ,Invalid Provider String - to short or zero length"},
      {"padded LDAP:",
       {.provider = Variant("  LDAP:  ")},
       false,
       "-1 ,Invalid Provider String - to short or zero length"},
      {"lower-case path",
       {.provider = Variant("winnt://WEBSRV1")},
       false,
       "-1 ,Invalid Provider String - should be LDAP or WinNT"},
      {"null computer", {.computer = null}, false, "-1 ,Invalid Computer Name -- Null"},
      {"blank user",
       {.user = Variant("  ")},
       false,
       "-1 ,Invalid User Name To Add - 0 Length String"},
      {"slash before a null group",
       {.user = Variant("a/b"), .group = null},
       false,
       "-1 ,Invalid character / found in user name."},
      {"empty group", {.group = empty}, false, "-1 ,Invalid Group Name To Add To-- Empty"},
      {"blank group",
       {.group = Variant("   ")},
       false,
       "-1 ,Invalid Group Name To Add To - 0 Length String"},
      {"domain user in WinNT mode",
       {.user = Variant("DOM\\bob"), .error_in = Variant("x")},
       false,
       "-1 ,Users are validated locally - do not use the \\ character in user name - specify "
       "user name only"},
      {"bare user in LDAP mode",
       {.provider = Variant("LDAP://RootDSE")},
       false,
       "-1 ,User name incorrect - specify in format DomainName\\UserName."},
      {"added, old text dropped", {.error_in = Variant("x")}, true, ""},
      {"already a member",
       {.group = Variant("QZW3SVC2")},
       false,
       "-2147023518 ,The specified account name is already a member of the local group."},
      {"name in another case", {.user = Variant("Bob")}, false, kMissingUser},
      {"missing group",
       {.group = Variant("QZW3SVC9")},
       false,
       "-2147022676 ,The group name could not be found."},
      {"missing computer",
       {.provider = Variant("WinNT://NOSUCH")},
       false,
       "The network path was not found. on Attempt to bind to user database."},
      {"both kinds, WinNT wins",
       {.provider = Variant("LDAP://x WinNT://WEBSRV1")},
       false,
       "An invalid dn syntax has been specified. on Attempt to bind to user database."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallOutcome out = Add(c.call);
    ASSERT_FALSE(out.error);
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(4), c.error);
  }
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "bob");
}

TEST_F(MembershipTest, UserScanPassesOverAnUnreadableUser) {
  FaultPlatform faults(*platform_);
  faults.Fail("Name", "WinNT://WEBSRV1/alice", 0, errors::kErrorDsOperationsError.Make());
  CallOutcome bob = Add(faults, {});
  EXPECT_EQ(bob.result, Variant(true));
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "bob");

  CallOutcome alice = Add(faults, {.user = Variant("alice")});
  EXPECT_EQ(alice.result, Variant(false));
  EXPECT_EQ(alice.text(4),
            "-1 ,The user you are trying to add does not exist. Create the user first with a "
            "Windows Administration tool.");

  faults.Fail("SetFilter", "", 1, errors::kEAdsPropertyNotSupported.Make());
  CallOutcome unfiltered = Add(faults, {});
  EXPECT_EQ(unfiltered.text(4),
            "The specified directory property is not supported on Filtering Users");
}

TEST_F(MembershipTest, RemovalChecksFailTowardsTheCallerAndKeepTheErrorText) {
  struct Case {
    const char* name;
    Removal call;
    std::string error;
  };
  const char kPathMessage[] =
      "A full ADSI Path (starting with WinNT://) should be specified for the username.";
  const std::vector<Case> cases = {
      {"null computer",
       {.computer = Variant::Null()},
       "Invalid Computer Name To Remove From -- Null"},
      {"blank user",
       {.user = Variant("   ")},
       "Invalid User Name To Remove From - 0 Length String"},
      {"lower-case prefix", {.user = Variant("winnt://WEBSRV1/bob")}, kPathMessage},
      {"leading space", {.user = Variant(" WinNT://WEBSRV1/bob")}, kPathMessage},
      {"too short", {.user = Variant("WinNT:/")}, kPathMessage},
      {"empty group", {.group = Variant()}, "Invalid Group Name To Remove From -- Empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallOutcome out = Remove(c.call);
    EXPECT_THAT(out.error, AutomationErrorIs(-1, c.error));
    EXPECT_EQ(out.text(3), "x");
  }
}

TEST_F(MembershipTest, RemovalOutcomes) {
  struct Case {
    const char* name;
    Removal call;
    bool result;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"removed, text kept", {.group = Variant("QZW3SVC2")}, true, "x"},
      {"missing group",
       {.group = Variant("QZW3SVC9")},
       false,
       "The group name could not be found. on Attempt to bind to group."},
      {"not a member",
       {},
       false,
       "The specified account name is not a member of the local group. on Removing user from "
       "group"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallOutcome out = Remove(c.call);
    ASSERT_FALSE(out.error);
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(3), c.error);
  }
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC2"), "");
}

}  // namespace
}  // namespace brindlecore::testing
