#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kExhausted[] = "Could not create group after 500 attemps - Error: ";

class ProfileGroupTest : public RootTest {
 protected:
  ProfileGroupTest() { accounts_.Computer(kComputer); }

  CallOutcome AddExternal(platform::Platform& platform, Variant description,
                          std::string computer = kComputer) {
    return CallMethod(platform, "AddExternalGroup",
                      {Val(Variant(computer)), Val(Variant("")), Val(Variant("")),
                       Val(std::move(description)), Ref(Variant("x"))});
  }
  CallOutcome AddExternal(Variant description) {
    return AddExternal(*platform_, std::move(description));
  }
  CallOutcome Update(Variant group, Variant description, Variant action) {
    return CallMethod(
        *platform_, "UpdateGroup",
        {Val(Variant(kComputer)), Val(Variant()), Val(Variant()), Val(std::move(group)),
         Val(std::move(description)), Val(std::move(action)), Ref(Variant("x"))});
  }
};

TEST_F(ProfileGroupTest, AddExternalTakesTheSmallestFreeNumber) {
  struct Case {
    std::vector<int> taken;
    const char* description;
    std::string created;
  };
  const Case cases[] = {
      {{}, "Partners", "QZMULTI1"}, {{1, 2, 4}, "Partners", "QZMULTI3"}, {{2}, "", "QZMULTI1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.created);
    TestRoot root;
    AccountsFixture& accounts = root.accounts.Computer(kComputer);
    for (int n : c.taken) accounts.Group(kComputer, "QZMULTI" + std::to_string(n), "old");

    CallOutcome out = AddExternal(*root.platform, Variant(c.description));

    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.result, Variant(true));
    EXPECT_EQ(out.text(4), "");
    ASSERT_TRUE(accounts.HasGroup(kComputer, c.created));
    EXPECT_EQ(accounts.GroupDescription(kComputer, c.created), c.description);
  }
}

TEST_F(ProfileGroupTest, AddExternalGivesUpAfterFiveHundredNames) {
  for (int n = 1; n <= 500; ++n) accounts_.Group(kComputer, "QZMULTI" + std::to_string(n));

  CallOutcome out = AddExternal(Variant("Partners"));

  ASSERT_FALSE(out.error) << out.error->description;
  EXPECT_EQ(out.result, Variant(false));
  EXPECT_EQ(out.text(4), kExhausted);
  EXPECT_FALSE(accounts_.HasGroup(kComputer, "QZMULTI501"));
}

TEST_F(ProfileGroupTest, AddExternalFailuresOutsideTheProbesReachTheHost) {
  struct Case {
    const char* name;
    Variant description;
    std::string computer;
    const char* failing_step;  // nullptr: none
    const errors::ErrorCode& error;
    std::string error_text;
  };
  const Case cases[] = {
      {"unknown computer", Variant("Partners"), "NOSUCH", nullptr, errors::kErrorBadNetpath, "x"},
      {"Null description", Variant::Null(), kComputer, nullptr, errors::kRtInvalidUseOfNull, ""},
      {"store refused", Variant("Partners"), kComputer, "SetInfo", errors::kEAccessdenied, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultPlatform faults(*platform_);
    if (c.failing_step) faults.Fail(c.failing_step, "", 1, c.error.Make());
    CallOutcome out = AddExternal(faults, c.description, c.computer);
    EXPECT_THAT(out.error, AutomationErrorIs(c.error));
    EXPECT_EQ(out.text(4), c.error_text);
    EXPECT_FALSE(accounts_.HasGroup(kComputer, "QZMULTI1"));
  }
}

TEST_F(ProfileGroupTest, AddExternalTakesANumberWhoseProbeFailed) {
  accounts_.Group(kComputer, "QZMULTI1").Group(kComputer, "QZMULTI2");
  FaultPlatform faults(*platform_);
  faults.Fail("GetObject", "/QZMULTI2", 1, errors::kErrorDsServerDown.Make());

  CallOutcome out = AddExternal(faults, Variant("Partners"));

  // The number is taken although the group exists, so the store refuses it towards the host.
  EXPECT_THAT(out.error, ErrorNumberIs(errors::kErrorAliasExists));
  EXPECT_FALSE(accounts_.HasGroup(kComputer, "QZMULTI3"));
}

TEST_F(ProfileGroupTest, UpdateChangesDescriptionOrDeletes) {
  accounts_.Group(kComputer, "QZMULTI3", "old").Group(kComputer, "QZW3SVC5");

  CallOutcome update = Update(Variant("QZMULTI3"), Variant("Marketing"), Variant("Update"));
  EXPECT_EQ(update.result, Variant(true));
  EXPECT_EQ(update.text(6), "");
  EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZMULTI3"), "Marketing");

  CallOutcome remove = Update(Variant("QZW3SVC5"), Variant::Null(), Variant("Delete"));
  EXPECT_EQ(remove.result, Variant(true));
  EXPECT_EQ(remove.text(6), "");
  EXPECT_FALSE(accounts_.HasGroup(kComputer, "QZW3SVC5"));

  // Any group, not only profile groups.
  CallOutcome ordinary = Update(Variant("Users"), Variant(), Variant("Delete"));
  EXPECT_EQ(ordinary.result, Variant(true));
  EXPECT_FALSE(accounts_.HasGroup(kComputer, "Users"));
}

TEST_F(ProfileGroupTest, UpdateFailuresLeaveTheGroupAndExplain) {
  accounts_.Group(kComputer, "QZMULTI3", "old");
  struct Case {
    const char* label;
    Variant group, description, action;
    std::string error;
  };
  const std::string kAction = "Error: Action should be Update or Delete";
  const Case cases[] = {
      {"lower-case action", Variant("QZMULTI3"), Variant("new"), Variant("delete"), kAction},
      {"Null action", Variant("QZMULTI3"), Variant("new"), Variant::Null(), kAction},
      {"Empty action", Variant("QZMULTI3"), Variant("new"), Variant(), kAction},
      {"missing group", Variant("QZMULTI9"), Variant("new"), Variant("Update"),
       "Error No: -2147022676, The group name could not be found."},
      {"Null description", Variant("QZMULTI3"), Variant::Null(), Variant("Update"),
       "Error No: 94, Invalid use of Null"},
      {"Null group", Variant::Null(), Variant("new"), Variant("Delete"),
       "Error No: 94, Invalid use of Null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    CallOutcome out = Update(c.group, c.description, c.action);
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.result, Variant(false));
    EXPECT_EQ(out.text(6), c.error);
    EXPECT_EQ(accounts_.GroupDescription(kComputer, "QZMULTI3"), "old");
  }
}

}  // namespace
}  // namespace brindlecore::testing
