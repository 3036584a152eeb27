#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";

class GenerateGroupsTest : public RootTest {
 protected:
  GenerateGroupsTest() {
    accounts_.Computer(kComputer);
    sites_.WebService();
  }

  CallOutcome Generate(platform::Platform& platform, Variant remove_redundant,
                       Variant pv_error = Variant(std::string()),
                       std::string computer = kComputer) {
    return CallMethod(platform, "GenerateGroups",
                      {Val(Variant(computer)), Val(Variant("admin")), Val(Variant("secret")),
                       Val(std::move(remove_redundant)), Ref(std::move(pv_error))});
  }
  CallOutcome Generate(Variant remove_redundant, Variant pv_error = Variant(std::string()),
                       std::string computer = kComputer) {
    return Generate(*platform_, std::move(remove_redundant), std::move(pv_error), computer);
  }
};

TEST_F(GenerateGroupsTest, CreatesOneDescribedGroupPerSiteAndRemovesOnlyOrphanedOnes) {
  sites_.Site("1", "Sales").Site("3", "");
  accounts_.Group(kComputer, "QZW3SVC7").Group(kComputer, "QZMULTI2").Group(kComputer, "qzw3svc8");

  CallOutcome out = Generate(Variant("true"), Variant("x"));

  ASSERT_FALSE(out.error) << out.error->description;
  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(out.text(4), "x");
  // The web service's other children (Info, Filters) get no group; other families stay.
  EXPECT_EQ(accounts_.Groups(kComputer),
            "Administrators,Users,QZMULTI2,qzw3svc8,QZW3SVC1,QZW3SVC3");
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZW3SVC1"), "Sales");
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZW3SVC3"), "Virtual Web Server 3");
}

TEST_F(GenerateGroupsTest, SecondRunKeepsMembersAndFollowsChangedComment) {
  sites_.Site("1", "Sales");
  accounts_.User(kComputer, "bob");
  ASSERT_EQ(Generate(Variant()).result, Variant(true));
  accounts_.Member(kComputer, "QZW3SVC1", "bob");
  auto site = platform_->GetObject("IIS://LocalHost/W3SVC/1");
  site->Put("ServerComment", Variant("Marketing"));
  site->SetInfo();

  CallOutcome out = Generate(Variant());

  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(out.text(4), "");
  EXPECT_EQ(accounts_.Groups(kComputer), "Administrators,Users,QZW3SVC1");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "bob");
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZW3SVC1"), "Marketing");
}

// Only a value that reads as true removes groups; anything unreadable keeps them.
TEST_F(GenerateGroupsTest, RemovalFollowsTheTruthValueOfTheOption) {
  sites_.Site("1", "Sales").Site("3");
  struct Case {
    const char* label;
    Variant option;
    bool removes;
  };
  const Case cases[] = {
      {"text TRUE", Variant("TRUE"), true},    {"numeric text", Variant("-1"), true},
      {"Null", Variant::Null(), false},        {"Empty", Variant(), false},
      {"text false", Variant("false"), false}, {"other text", Variant("yes"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (!accounts_.HasGroup(kComputer, "QZW3SVC7")) accounts_.Group(kComputer, "QZW3SVC7");

    CallOutcome out = Generate(c.option);

    EXPECT_EQ(out.result, Variant(true));
    EXPECT_EQ(accounts_.HasGroup(kComputer, "QZW3SVC7"), !c.removes);
  }
}

TEST_F(GenerateGroupsTest, UnboundDomainFailsTowardsHostAndTouchesNothing) {
  sites_.Site("1");

  CallOutcome out = Generate(Variant(true), Variant("x"), "NOSUCH");

  EXPECT_THAT(out.error, AutomationErrorIs(errors::kErrorBadNetpath));
  EXPECT_EQ(out.text(4), "x");
  EXPECT_FALSE(accounts_.HasGroup(kComputer, "QZW3SVC1"));
}

TEST_F(GenerateGroupsTest, OneFailingSiteDoesNotStopTheNext) {
  sites_.Site("1", "Sales").Site("3", "Shop");
  FaultPlatform faults(*platform_);
  faults.Fail("SetInfo", "", 1, errors::kEAccessdenied.Make());

  CallOutcome out = Generate(faults, Variant(false));

  EXPECT_TRUE(faults.AllFired());
  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(out.text(4), "");
  EXPECT_FALSE(accounts_.HasGroup(kComputer, "QZW3SVC1"));
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZW3SVC3"), "Shop");
}

TEST_F(GenerateGroupsTest, NoWebServiceCreatesNothingAndDeletesNothing) {
  TestRoot bare;
  bare.accounts.Computer(kComputer).Group(kComputer, "QZW3SVC7");

  CallOutcome out = Generate(*bare.platform, Variant(true));

  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(bare.accounts.Groups(kComputer), "Administrators,Users,QZW3SVC7");
}

TEST_F(GenerateGroupsTest, SiteListReadFailureKeepsThatGroup) {
  sites_.Site("1");
  accounts_.Group(kComputer, "QZW3SVC7").Group(kComputer, "QZW3SVC9");
  FaultPlatform faults(*platform_);
  // The first listing creates the groups; the second is read for QZW3SVC7.
  faults.Fail("Enumerate", "W3SVC", 2, errors::kEAccessdenied.Make());

  CallOutcome out = Generate(faults, Variant(true));

  EXPECT_TRUE(faults.AllFired());
  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(accounts_.Groups(kComputer), "Administrators,Users,QZW3SVC7,QZW3SVC1");
}

TEST_F(GenerateGroupsTest, RemovalPhaseFailuresAreReportedAfterCreation) {
  sites_.Site("1", "Sales");
  accounts_.Group(kComputer, "QZW3SVC7");
  struct Case {
    const char* operation;
    const char* path;
    std::string expected;
  };
  const Case cases[] = {
      {"GetObject", ",computer",
       std::string("Getting Computer Object, ") + std::string(errors::kEAccessdenied.text)},
      {"SetFilter", "", std::string("Setting Filter, ") + std::string(errors::kEAccessdenied.text)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    FaultPlatform faults(*platform_);
    faults.Fail(c.operation, c.path, 1, errors::kEAccessdenied.Make());

    CallOutcome out = Generate(faults, Variant(true), Variant("x"));

    EXPECT_TRUE(faults.AllFired());
    EXPECT_EQ(out.result, Variant(false));
    EXPECT_EQ(out.text(4), c.expected);
    EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZW3SVC1"), "Sales");
    EXPECT_TRUE(accounts_.HasGroup(kComputer, "QZW3SVC7"));
  }
}

// Fails each platform call of the listed kinds in turn, one run per call, until a run goes
// through without the fault firing, and checks that whatever fails, only a step that is allowed
// to report does so, and no group is lost that a site or another family still needs.
// The starting state is built once and copied for every run: building it each time would make
// the loop take minutes.
const TempDir& Start() {
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

TEST(GenerateGroupsFaultLoop, NoFailureLosesAGroupThatShouldStay) {
  for (const char* operation : {"GetObject", "Enumerate", "Next", "Class", "Name", "Get", "SetInfo",
                                "SetFilter", "Delete"}) {
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE(std::string(operation) + " #" + std::to_string(nth));
      TestRoot root;
      std::filesystem::copy(Start().path(), root.dir.path(),
                            std::filesystem::copy_options::recursive);
      AccountsFixture& accounts = root.accounts;
      FaultPlatform faults(*root.platform);
      faults.Fail(operation, "", nth, errors::kEAccessdenied.Make());

      CallOutcome out = CallMethod(faults, "GenerateGroups",
                                   {Val(Variant(kComputer)), Val(Variant()), Val(Variant()),
                                    Val(Variant(true)), Ref(Variant("x"))});

      EXPECT_TRUE(accounts.HasGroup(kComputer, "QZW3SVC1"));
      EXPECT_TRUE(accounts.HasGroup(kComputer, "QZMULTI2"));
      EXPECT_FALSE(accounts.HasGroup(kComputer, "QZW3SVC"));
      EXPECT_EQ(accounts.Members(kComputer, "QZW3SVC1"), "bob");
      // A fault while reading the comment leaves the old description rather than the default.
      EXPECT_NE(accounts.GroupDescription(kComputer, "QZW3SVC1"), "Virtual Web Server 1");
      if (out.error) {
        // Only the very first bind may fail towards the host, before anything changed.
        EXPECT_EQ(std::string(operation) + std::to_string(nth), "GetObject1");
        EXPECT_EQ(accounts.GroupDescription(kComputer, "QZW3SVC1"), "old");
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
