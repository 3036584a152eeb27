#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kBuiltIn[] = "Administrators,Users,";

class GroupsTest : public RootTest {
 protected:
  GroupsTest() {
    accounts_.Computer(kComputer);
    sites_.WebService();
  }

  CallOutcome AddExternal(platform::Platform &platform, Variant description,
                          std::string computer = kComputer) {
    return CallMethod(platform, "AddExternalGroup",
                      {Val(Variant(computer)), Val(Variant("")), Val(Variant("")),
                       Val(std::move(description)), Ref(Variant("x"))});
  }
  CallOutcome Update(Variant group, Variant description, Variant action) {
    return CallMethod(
        *platform_, "UpdateGroup",
        {Val(Variant(kComputer)), Val(Variant()), Val(Variant()), Val(std::move(group)),
         Val(std::move(description)), Val(std::move(action)), Ref(Variant("x"))});
  }
  CallOutcome Generate(platform::Platform &platform, Variant remove_redundant,
                       Variant pv_error = Variant(""), std::string computer = kComputer) {
    return CallMethod(platform, "GenerateGroups",
                      {Val(Variant(computer)), Val(Variant("admin")), Val(Variant("secret")),
                       Val(std::move(remove_redundant)), Ref(std::move(pv_error))});
  }
  std::string Groups() { return accounts_.Groups(kComputer); }
};

TEST_F(GroupsTest, AddExternalTakesTheSmallestFreeNumber) {
  CallOutcome first = AddExternal(*platform_, Variant("Partners"));
  ASSERT_FALSE(first.error) << first.error->description;
  EXPECT_EQ(first.result, Variant(true));
  EXPECT_EQ(first.text(4), "");
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZMULTI1"), "Partners");

  accounts_.Group(kComputer, "QZMULTI2", "old").Group(kComputer, "QZMULTI4", "old");
  EXPECT_EQ(AddExternal(*platform_, Variant("")).result, Variant(true));
  EXPECT_EQ(Groups(), std::string(kBuiltIn) + "QZMULTI1,QZMULTI2,QZMULTI4,QZMULTI3");
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZMULTI3"), "");
}

TEST_F(GroupsTest, AddExternalGivesUpAfterFiveHundredNames) {
  for (int n = 1; n <= 500; ++n) accounts_.Group(kComputer, "QZMULTI" + std::to_string(n));
  CallOutcome out = AddExternal(*platform_, Variant("Partners"));
  EXPECT_EQ(out.result, Variant(false));
  EXPECT_EQ(out.text(4), "Could not create group after 500 attemps - Error: ");
  EXPECT_FALSE(accounts_.HasGroup(kComputer, "QZMULTI501"));
}

// Only the probes are trapped. A failed probe takes its number although the
// group may exist, so the store then refuses it towards the host.
TEST_F(GroupsTest, AddExternalFailuresOutsideTheProbesReachTheHost) {
  accounts_.Group(kComputer, "QZMULTI1");
  struct Case {
    Variant description;
    std::string computer;
    const char *failing_step;  // "": none
    const char *path;
    const errors::ErrorCode &error;
    std::string error_text;
  };
  const Case cases[] = {
      {Variant("Partners"), "NOSUCH", "", "", errors::kErrorBadNetpath, "x"},
      {Variant::Null(), kComputer, "", "", errors::kRtInvalidUseOfNull, ""},
      {Variant("Partners"), kComputer, "SetInfo", "", errors::kEAccessdenied, ""},
      {Variant("Partners"), kComputer, "GetObject", "/QZMULTI1", errors::kErrorAliasExists, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.error.text);
    FaultPlatform faults(*platform_);
    if (*c.failing_step) faults.Fail(c.failing_step, c.path, 1, errors::kEAccessdenied.Make());
    CallOutcome out = AddExternal(faults, c.description, c.computer);
    EXPECT_THAT(out.error, AutomationErrorIs(c.error));
    EXPECT_EQ(out.text(4), c.error_text);
    EXPECT_FALSE(accounts_.HasGroup(kComputer, "QZMULTI2"));
  }
}

// Failures come first, each leaving the group as it was; any group can be
// deleted, not only a profile group.
TEST_F(GroupsTest, UpdateChangesDescriptionOrDeletes) {
  accounts_.Group(kComputer, "QZMULTI3", "old").Group(kComputer, "QZW3SVC5");
  struct Case {
    Variant group, description, action;
    std::string error;
  };
  const std::string kAction = "Error: Action should be Update or Delete";
  const std::string kNull = "Error No: 94, Invalid use of Null";
  const Variant multi("QZMULTI3"), text("new");
  const Case cases[] = {
      {multi, text, Variant("delete"), kAction},
      {multi, text, Variant::Null(), kAction},
      {Variant("QZMULTI9"), text, Variant("Update"),
       "Error No: -2147022676, The group name could not be found."},
      {multi, Variant::Null(), Variant("Update"), kNull},
      {Variant::Null(), text, Variant("Delete"), kNull},
      {multi, Variant("Marketing"), Variant("Update"), ""},
      {Variant("QZW3SVC5"), Variant::Null(), Variant("Delete"), ""},
      {Variant("Users"), Variant(), Variant("Delete"), ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(ConcatText(c.group) + " " + c.error);
    CallOutcome out = Update(c.group, c.description, c.action);
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.result, Variant(c.error.empty()));
    EXPECT_EQ(out.text(6), c.error);
    if (!c.error.empty()) {
      EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZMULTI3"), "old");
    }
  }
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZMULTI3"), "Marketing");
  EXPECT_EQ(Groups(), "Administrators,QZMULTI3");
}

TEST_F(GroupsTest, GenerateCreatesOneDescribedGroupPerSiteAndRemovesOnlyOrphanedOnes) {
  sites_.Site("1", "Sales").Site("3", "");
  accounts_.User(kComputer, "bob").Group(kComputer, "QZW3SVC7").Group(kComputer, "QZMULTI2");
  accounts_.Group(kComputer, "qzw3svc8");
  // The web service's other children (Info, Filters) get no group; other
  // families stay.
  const std::string groups = std::string(kBuiltIn) + "QZMULTI2,qzw3svc8,QZW3SVC1,QZW3SVC3";

  CallOutcome out = Generate(*platform_, Variant("true"), Variant("x"));

  ASSERT_FALSE(out.error) << out.error->description;
  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(out.text(4), "x");
  EXPECT_EQ(Groups(), groups);
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZW3SVC1"), "Sales");
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZW3SVC3"), "Virtual Web Server 3");

  // Run again: the groups keep their members and follow a changed comment.
  accounts_.Member(kComputer, "QZW3SVC1", "bob");
  auto site = platform_->GetObject("IIS://LocalHost/W3SVC/1");
  site->Put("ServerComment", Variant("Marketing"));
  site->SetInfo();
  out = Generate(*platform_, Variant());
  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(out.text(4), "");
  EXPECT_EQ(Groups(), groups);
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "bob");
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZW3SVC1"), "Marketing");
}

// Only a value that reads as true removes groups; anything unreadable keeps
// them.
TEST_F(GroupsTest, GenerateRemovesOnlyWhenTheOptionReadsAsTrue) {
  sites_.Site("1", "Sales");
  const std::pair<Variant, bool> cases[] = {
      {Variant("TRUE"), true}, {Variant("-1"), true},     {Variant::Null(), false},
      {Variant(), false},      {Variant("false"), false}, {Variant("yes"), false},
  };
  for (const auto &[option, removes] : cases) {
    SCOPED_TRACE(ConcatText(option));
    if (!accounts_.HasGroup(kComputer, "QZW3SVC7")) accounts_.Group(kComputer, "QZW3SVC7");
    EXPECT_EQ(Generate(*platform_, option).result, Variant(true));
    EXPECT_EQ(accounts_.HasGroup(kComputer, "QZW3SVC7"), !removes);
  }
}

// One failing step at each stage, on a fresh root with sites 1 and 3 and
// orphaned groups 7 and 9. A failing site does not stop the next; a site list
// that cannot be read keeps the groups it would judge (all of them without the
// web service, QZW3SVC7 alone when only its check fails); the removal phase's
// own failures are reported after creation.
TEST_F(GroupsTest, GenerateFailuresAtEachStage) {
  struct Case {
    const char *operation;
    const char *path;
    int nth;
    bool result;
    std::string text, groups;
  };
  const std::string all = "QZW3SVC7,QZW3SVC9,QZW3SVC1,QZW3SVC3";
  const Case cases[] = {
      {"SetInfo", "", 1, true, "x", "QZW3SVC3"},
      {"GetObject", "LocalHost/W3SVC", 1, true, "x", "QZW3SVC7,QZW3SVC9"},
      {"Enumerate", "LocalHost/W3SVC", 2, true, "x", "QZW3SVC7,QZW3SVC1,QZW3SVC3"},
      {"GetObject", ",computer", 1, false, "Getting Computer Object, Access is denied.", all},
      {"SetFilter", "", 1, false, "Setting Filter, Access is denied.", all},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.operation) + " " + c.path);
    TestRoot root;
    root.sites.WebService().Site("1", "Sales").Site("3", "Shop");
    root.accounts.Computer(kComputer).Group(kComputer, "QZW3SVC7").Group(kComputer, "QZW3SVC9");
    FaultPlatform faults(*root.platform);
    faults.Fail(c.operation, c.path, c.nth, errors::kEAccessdenied.Make());
    CallOutcome out = Generate(faults, Variant(true), Variant("x"));
    EXPECT_TRUE(faults.AllFired());
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(4), c.text);
    EXPECT_EQ(root.accounts.Groups(kComputer), kBuiltIn + c.groups);
    for (const auto &[group, description] :
         {std::pair("QZW3SVC1", "Sales"), {"QZW3SVC3", "Shop"}}) {
      if (root.accounts.HasGroup(kComputer, group)) {
        EXPECT_EQ(root.accounts.GroupDescription(kComputer, group), description);
      }
    }
  }
}

// The starting state is built once and copied for every run: building it each
// time would make the loop below take minutes.
const TempDir &Start() {
  static TempDir start;
  static const bool built = [] {
    AccountsFixture(start.path())
        .Computer(kComputer)
        .User(kComputer, "bob")
        .Group(kComputer, "QZW3SVC1", "old")
        .Group(kComputer, "QZW3SVC7")
        .Group(kComputer, "QZMULTI2")
        .Member(kComputer, "QZW3SVC1", "bob");
    MetabaseFixture(start.path()).WebService().Site("1", "Sales").Site("3");
    return true;
  }();
  (void)built;
  return start;
}

// Fails each call of these kinds in turn until a run goes through without the
// fault firing: whatever fails, only a step allowed to report does so, and no
// group is lost that a site or another family still needs.
TEST(GenerateGroupsFaultLoop, NoFailureLosesAGroupThatShouldStay) {
  for (const char *operation : {"GetObject", "Enumerate", "Next", "Class", "Name", "Get", "SetInfo",
                                "SetFilter", "Delete"}) {
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE(std::string(operation) + " #" + std::to_string(nth));
      TestRoot root;
      std::filesystem::copy(Start().path(), root.dir.path(),
                            std::filesystem::copy_options::recursive);
      AccountsFixture &accounts = root.accounts;
      FaultPlatform faults(*root.platform);
      faults.Fail(operation, "", nth, errors::kEAccessdenied.Make());

      CallOutcome out = CallMethod(faults, "GenerateGroups",
                                   {Val(Variant(kComputer)), Val(Variant()), Val(Variant()),
                                    Val(Variant(true)), Ref(Variant("x"))});

      EXPECT_TRUE(accounts.HasGroup(kComputer, "QZW3SVC1"));
      EXPECT_TRUE(accounts.HasGroup(kComputer, "QZMULTI2"));
      EXPECT_FALSE(accounts.HasGroup(kComputer, "QZW3SVC"));
      EXPECT_EQ(accounts.Members(kComputer, "QZW3SVC1"), "bob");
      // A fault while reading the comment leaves the old description rather
      // than the default.
      EXPECT_NE(accounts.GroupDescription(kComputer, "QZW3SVC1"), "Virtual Web Server 1");
      if (out.error) {
        // Only the very first bind may fail towards the host, before anything
        // changed.
        EXPECT_EQ(std::string(operation) + std::to_string(nth), "GetObject1");
        EXPECT_EQ(accounts.GroupDescription(kComputer, "QZW3SVC1"), "old");
        EXPECT_EQ(out.text(4), "x");
      } else if (out.result == Variant(false)) {
        const std::string text = out.text(4);
        EXPECT_TRUE(text == "Getting Computer Object, Access is denied." ||
                    text == "Setting Filter, Access is denied.")
            << text;
      } else {
        EXPECT_EQ(out.result, Variant(true));
        EXPECT_EQ(out.text(4), "x");
      }
      if (!faults.AllFired()) break;
    }
  }
}

}  // namespace
}  // namespace brindlecore::testing
