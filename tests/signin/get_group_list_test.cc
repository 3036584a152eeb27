#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/automation/errors.h"
#include "platform/root.h"
#include "support/dispatch.h"
#include "support/fault_platform.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";

class GetGroupListTest : public ::testing::Test {
 protected:
  GetGroupListTest() : accounts_(dir_.path()) {
    accounts_.Computer(kComputer)
        .User(kComputer, "alice")
        .User(kComputer, "bob")
        .Group(kComputer, "QZW3SVC1", "Sales")
        .Group(kComputer, "QZMULTI2", "Partners")
        .Group(kComputer, "QZW3SVC5", "Support")
        .Member(kComputer, "Administrators", "bob")
        .Member(kComputer, "QZW3SVC1", "alice")
        .Member(kComputer, "QZW3SVC1", "bob")
        .Member(kComputer, "QZMULTI2", "bob")
        .Member(kComputer, "QZW3SVC5", "bob");
  }

  CallOutcome Call(platform::Platform& platform, Variant domain, Variant user, Variant login_type) {
    return CallMethod(platform, "GetGroupList",
                      {Val(std::move(domain)), Val(std::move(user)), Val(std::move(login_type)),
                       Ref(Variant("x"))});
  }
  CallOutcome Call(Variant user, Variant login_type) {
    return Call(*platform_, Variant(kComputer), std::move(user), std::move(login_type));
  }

  TempDir dir_;
  AccountsFixture accounts_;
  std::unique_ptr<platform::Platform> platform_ = platform::MakePlatform(dir_.path());
};

TEST_F(GetGroupListTest, ListsTheGroupsOfTheLoginType) {
  struct Case {
    const char* name;
    Variant user, login_type;
    std::string result;
  };
  const Case cases[] = {
      {"per-site groups only", Variant("bob"), Variant("ProfileAdministrator"),
       "QZW3SVC1;QZW3SVC5;"},
      {"administrators", Variant("bob"), Variant("ServerAdministrator"), "Administrators\r\n"},
      {"not an administrator", Variant("alice"), Variant("ServerAdministrator"), ""},
      {"lower-case login type", Variant("bob"), Variant("profileadministrator"), ""},
      {"null user", Variant::Null(), Variant("ProfileAdministrator"), ""},
      {"user in another case", Variant("Bob"), Variant("ProfileAdministrator"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallOutcome out = Call(c.user, c.login_type);
    ASSERT_FALSE(out.error);
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(3), "x");
  }
}

TEST_F(GetGroupListTest, FailedBindAndFilterReplaceTheErrorWithAStepText) {
  CallOutcome unbound = Call(*platform_, Variant("NOSUCH"), Variant("bob"),
                             Variant("ProfileAdministrator"));
  EXPECT_EQ(unbound.result, Variant(""));
  EXPECT_EQ(unbound.text(3), "The network path was not found. on Binding Attempt");

  FaultPlatform faults(*platform_);
  faults.Fail("SetFilter", "", 1, errors::kEAdsPropertyNotSupported.Make());
  CallOutcome unfiltered = Call(faults, Variant(kComputer), Variant("bob"),
                                Variant("ProfileAdministrator"));
  EXPECT_EQ(unfiltered.result, Variant(""));
  EXPECT_EQ(unfiltered.text(3),
            "The specified directory property is not supported on Filtering Groups");
}

TEST_F(GetGroupListTest, UnreadableMemberDoesNotCountButTheRestDoes) {
  FaultPlatform faults(*platform_);
  faults.Fail("Name", "WinNT://WEBSRV1/bob", 1, errors::kErrorDsOperationsError.Make());
  faults.Fail("Members", "QZW3SVC5", 1, errors::kErrorDsOperationsError.Make());

  CallOutcome out =
      Call(faults, Variant(kComputer), Variant("bob"), Variant("ProfileAdministrator"));

  EXPECT_TRUE(faults.AllFired());
  EXPECT_EQ(out.result, Variant(""));  // bob in QZW3SVC1 unread, QZW3SVC5 members untakeable
  EXPECT_EQ(out.text(3), "x");
}

TEST_F(GetGroupListTest, FailureOutsideTheWalksGoesToTheTrap) {
  FaultPlatform faults(*platform_);
  faults.Fail("Name", "QZW3SVC5", 1, errors::kErrorDsOperationsError.Make());

  CallOutcome out =
      Call(faults, Variant(kComputer), Variant("bob"), Variant("ProfileAdministrator"));

  EXPECT_EQ(out.result, Variant(""));
  EXPECT_EQ(out.text(3), "x - -2147016672,An operations error occurred.");
}

}  // namespace
}  // namespace brindlecore::testing
