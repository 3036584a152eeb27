#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kMissingUser[] =
    "-1 ,The user you are trying to add does not exist. Create the user first with a Windows "
    "Administration tool.";

struct Addition {
  Variant provider = Variant("WinNT://WEBSRV1");
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

std::string FileRow(const std::string& path) {
  return "<tr><td class=UserInfo2>File: " + path + " opened successfully.</td></tr>";
}
std::string Added(const std::string& user, const std::string& group) {
  return "<tr><td class=UserInfo2>Success: User " + user + " added to Profile Group " + group +
         "</td></tr>";
}
std::string NotAdded(const std::string& user, const std::string& group, const std::string& e) {
  return "<tr><td class=UserInfo4>Error: User " + user + " NOT added to Profile Group " + group +
         ", Error: " + e + "</td></tr>";
}
std::string Removed(const std::string& user, const std::string& group) {
  return "<tr><td class=UserInfo2>Success: User " + user + " removed from Profile Group " + group +
         "</td></tr>";
}
std::string NotRemoved(const std::string& user, const std::string& group, const std::string& e) {
  return "<tr><td class=UserInfo4>Error: User " + user + " NOT removed from Profile Group " +
         group + ", " + e + "</td></tr>";
}

class ProfileAdminsTest : public RootTest {
 protected:
  ProfileAdminsTest() {
    accounts_.Computer(kComputer)
        .User(kComputer, "alice")
        .User(kComputer, "bob")
        .Group(kComputer, "QZW3SVC1", "Sales")
        .Group(kComputer, "QZW3SVC2", "Support")
        .Member(kComputer, "QZW3SVC2", "alice")
        .Member(kComputer, "QZW3SVC2", "bob");
  }

  CallOutcome Add(platform::Platform& platform, const Addition& a) {
    return CallMethod(
        platform, "AddUserToGroup",
        {Val(a.provider), Val(a.computer), Val(a.user), Val(a.group), Ref(a.error_in)});
  }
  CallOutcome Remove(const Removal& r) {
    return CallMethod(*platform_, "RemoveUserFromGroup",
                      {Val(r.computer), Val(r.user), Val(r.group), Ref(Variant("x"))});
  }
  std::string Write(const std::string& content) {
    const std::string path = (dir_.path() / "import.txt").string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  CallOutcome Import(platform::Platform& platform, Variant file,
                     Variant auth = Variant("WinNT://WEBSRV1"),
                     Variant computer = Variant(kComputer)) {
    return CallMethod(platform, "ImportProfileAdmins",
                      {Val(std::move(file)), Val(std::move(auth)), Val(std::move(computer))});
  }
};

// The checks come first, so a check that let a call through would show as a second member.
TEST_F(ProfileAdminsTest, Addition) {
  struct Case {
    Addition call;
    std::string error;  // "": added
  };
  const Variant null = Variant::Null();
  const std::string r = "-1 ,";
  const std::string kShort = r + "Invalid Provider String - to short or zero length";
  const std::vector<Case> cases = {
      // A Null error text concatenates as nothing.
      {{.provider = null, .error_in = null}, r + "Invalid Provider String -- Null"},
      {{.provider = Variant()}, r + "Invalid Provider String -- Empty"},
      {{.provider = Variant("  LDAP:  ")}, kShort},
      {{.provider = Variant("winnt://WEBSRV1")},
       r + "Invalid Provider String - should be LDAP or WinNT"},
      {{.computer = null}, r + "Invalid Computer Name -- Null"},
      {{.user = Variant("  ")}, r + "Invalid User Name To Add - 0 Length String"},
      // A "/" is refused even in first place, and before the group is looked at.
      {{.user = Variant("/b"), .group = null}, r + "Invalid character / found in user name."},
      {{.group = Variant()}, r + "Invalid Group Name To Add To-- Empty"},
      {{.group = Variant("   ")}, r + "Invalid Group Name To Add To - 0 Length String"},
      // A backslash even in first place names a domain account, which WinNT mode refuses.
      {{.user = Variant("\\bob"), .error_in = Variant("x")},
       r + "Users are validated locally - do not use the \\ character in user name - specify "
           "user name only"},
      {{.provider = Variant("LDAP://RootDSE")},
       r + "User name incorrect - specify in format DomainName\\UserName."},
      {{.error_in = Variant("x")}, ""},
      {{.group = Variant("QZW3SVC2")},
       "-2147023518 ,The specified account name is already a member of the local group."},
      {{.user = Variant("Bob")}, kMissingUser},
      {{.group = Variant("QZW3SVC9")}, "-2147022676 ,The group name could not be found."},
      {{.provider = Variant("WinNT://NOSUCH")},
       "The network path was not found. on Attempt to bind to user database."},
      // Both kinds named: WinNT wins.
      {{.provider = Variant("LDAP://x WinNT://WEBSRV1")},
       "An invalid dn syntax has been specified. on Attempt to bind to user database."},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    CallOutcome out = Add(*platform_, cases[i].call);
    ASSERT_FALSE(out.error);
    EXPECT_EQ(out.result, Variant(cases[i].error.empty()));
    EXPECT_EQ(out.text(4), cases[i].error);
  }
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "bob");
}

TEST_F(ProfileAdminsTest, AdditionPassesOverAnUnreadableUser) {
  FaultPlatform faults(*platform_);
  faults.Fail("Name", "WinNT://WEBSRV1/alice", 0, errors::kErrorDsOperationsError.Make());
  EXPECT_EQ(Add(faults, {}).result, Variant(true));
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "bob");
  EXPECT_EQ(Add(faults, {.user = Variant("alice")}).text(4), kMissingUser);

  faults.Fail("SetFilter", "", 1, errors::kEAdsPropertyNotSupported.Make());
  EXPECT_EQ(Add(faults, {}).text(4),
            "The specified directory property is not supported on Filtering Users");
}

// Refusals fail towards the caller and keep the error text; the rest report in it.
TEST_F(ProfileAdminsTest, Removal) {
  struct Case {
    Removal call;
    std::string text;  // the refusal's, or what the call leaves in pvError
    bool refused = true, result = false;
  };
  const char kPath[] =
      "A full ADSI Path (starting with WinNT://) should be specified for the username.";
  const std::vector<Case> cases = {
      {{.computer = Variant::Null()}, "Invalid Computer Name To Remove From -- Null"},
      {{.user = Variant("   ")}, "Invalid User Name To Remove From - 0 Length String"},
      {{.user = Variant("WinNT:/")}, kPath},
      {{.group = Variant()}, "Invalid Group Name To Remove From -- Empty"},
      {{.group = Variant("QZW3SVC9")},
       "The group name could not be found. on Attempt to bind to group.",
       false},
      {{},
       "The specified account name is not a member of the local group. on Removing user from "
       "group",
       false},
      {{.group = Variant("QZW3SVC2")}, "x", false, true},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const Case& c = cases[i];
    CallOutcome out = Remove(c.call);
    if (c.refused) {
      EXPECT_THAT(out.error, AutomationErrorIs(-1, c.text));
      EXPECT_EQ(out.text(3), "x");
    } else {
      ASSERT_FALSE(out.error);
      EXPECT_EQ(out.result, Variant(c.result));
      EXPECT_EQ(out.text(3), c.text);
    }
  }
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC2"), "alice");
}

TEST_F(ProfileAdminsTest, ImportOfAnEmptyFileAndRefusals) {
  const std::string path = Write("");
  EXPECT_EQ(Import(*platform_, Variant(path)).result,
            Variant("<table>" + FileRow(path) + "</table>"));

  const Variant refusal(
      "<table><tr><td>User Auth String or Computer Name not specified</td></tr></table>");
  EXPECT_EQ(Import(*platform_, Variant(path), Variant()).result, refusal);
  EXPECT_EQ(Import(*platform_, Variant(path), Variant("WinNT://WEBSRV1"), Variant("")).result,
            refusal);
  // A blank computer name is not refused here: the addition reports it line by line.
  Write("+,bob,QZW3SVC1\n");
  EXPECT_EQ(
      ToText(Import(*platform_, Variant(path), Variant("WinNT://WEBSRV1"), Variant(" ")).result),
      "<table>" + FileRow(path) +
          NotAdded("bob", "QZW3SVC1", "-1 ,Invalid Computer Name - 0 Length String") + "</table>");
}

TEST_F(ProfileAdminsTest, ImportReportsEachLineOnItsOwn) {
  const std::string path = Write(
      "+,bob,QZW3SVC1  \r\n"   // trailing spaces are not part of the group
      " +,alice,QZW3SVC1\r\n"  // a leading space is no operation
      "*,alice,QZW3SVC1\r\n"   // nor is any other character
      "+,alice\r\n"            // one comma: passed over
      "\r\n"
      "      -,b,\r\n"               // group count below zero: passed over, not fatal
      "+,bob,\r\n"                   // group count zero: an empty group
      "+,,QZW3SVC1\r\n"              // empty user
      "+,carol,QZW3SVC1\r\n"         // unknown user; its row shows only its own error
      "+ignored,bob,QZW3SVC9,x\r\n"  // the group keeps its further comma
      "-,W\\alice,QZW3SVC2\r\n"      // matched by account name, shown as written
      "-,\\bob,QZW3SVC2\r\n"         // backslash first: matched whole, so no member
      "-,alice,QZW3SVC2\r\n"         // already removed
      "-,bob,NOSUCH\r\n");

  EXPECT_EQ(
      ToText(Import(*platform_, Variant(path)).result),
      "<table>" + FileRow(path) + Added("bob", "QZW3SVC1") +
          NotAdded("bob", "", "-1 ,Invalid Group Name To Add To - 0 Length String") +
          NotAdded("", "QZW3SVC1", "-1 ,Invalid User Name To Add - 0 Length String") +
          NotAdded("carol", "QZW3SVC1", kMissingUser) +
          NotAdded("bob", "QZW3SVC9,x", "-2147463168 ,An invalid directory pathname was passed") +
          Removed("W\\alice", "QZW3SVC2") +
          NotRemoved("\\bob", "QZW3SVC2", "not member of the group.") +
          NotRemoved("alice", "QZW3SVC2", "not member of the group.") +
          NotRemoved("bob", "NOSUCH", "The group name could not be found.") + "</table>");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "bob");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC2"), "bob");
}

TEST_F(ProfileAdminsTest, ImportShowsAFailedRemovalsOwnText) {
  FaultPlatform faults(*platform_);
  faults.Fail("Remove", "QZW3SVC2", 1, errors::kErrorDsOperationsError.Make());
  const std::string path = Write("-,bob,QZW3SVC2\n-,alice,QZW3SVC2\n");

  EXPECT_EQ(ToText(Import(faults, Variant(path)).result),
            "<table>" + FileRow(path) +
                NotRemoved("bob", "QZW3SVC2",
                           "An operations error occurred. on Removing user from group") +
                Removed("alice", "QZW3SVC2") + "</table>");
}

TEST_F(ProfileAdminsTest, ImportEndsThroughTheTrapWhenTheFileFails) {
  EXPECT_EQ(Import(*platform_, Variant((dir_.path() / "none.txt").string())).result,
            Variant("<table>An error occurred: File not found"));
  EXPECT_EQ(Import(*platform_, Variant::Null()).result,
            Variant("<table>An error occurred: Invalid use of Null"));

  // A read failing after a removal line still ends the import; nothing is counted twice.
  const std::string path = Write("-,bob,QZW3SVC2\n+,alice,QZW3SVC1\n+,bob,QZW3SVC1\n");
  FaultPlatform faults(*platform_);
  faults.Fail("ReadLine", "", 2, errors::kRtInputPastEndOfFile.Make());
  EXPECT_EQ(ToText(Import(faults, Variant(path)).result),
            "<table>" + FileRow(path) + Removed("bob", "QZW3SVC2") +
                "An error occurred: Input past end of file");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "");
}

}  // namespace
}  // namespace brindlecore::testing
