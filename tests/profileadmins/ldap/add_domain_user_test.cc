// Adding domain accounts to local groups: existence checked by a search of a real slapd.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>

#include "platform/automation/errors.h"
#include "support/slapd_server.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";

class AddDomainUserTest : public RootTest {
 protected:
  AddDomainUserTest() {
    server_.WriteConfig(dir_.path());
    server_.AddUser("John Doe", "jdoe", "pw1", "John", "Doe", server_.AddOu("Staff"));
    accounts_.Computer(kComputer).Group(kComputer, "QZW3SVC1", "Sales");
    platform_ = platform::MakePlatform(dir_.path());
  }

  CallOutcome Add(platform::Platform& platform, const std::string& provider,
                  const std::string& user) {
    return CallMethod(platform, "AddUserToGroup",
                      {Val(Variant(provider)), Val(Variant(kComputer)), Val(Variant(user)),
                       Val(Variant("QZW3SVC1")), Ref(Variant("x"))});
  }

  SlapdServer server_;
};

// The search base comes from the provider, RootDSE standing for the default naming context.
TEST_F(AddDomainUserTest, AddsByWinNtPathOnlyWhenTheDirectoryKnowsTheAccount) {
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
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "jdoe");
  // A search failing at exactly this text shows which query the method asked for.
  FaultPlatform faults(*platform_);
  faults.Fail("SetCommandText",
              "select name, AdsPath from 'LDAP://DC=example,DC=test' where sAMAccountName='jdoe'",
              1, errors::kEAccessdenied.Make());
  EXPECT_EQ(Add(faults, "LDAP://RootDSE", "EXAMPLE\\jdoe").text(4),
            "-2147024891 ,Access is denied.");
  EXPECT_TRUE(faults.AllFired());
}

TEST_F(AddDomainUserTest, ImportAddsDomainAccountsAndRemovesThemByAccountName) {
  const std::string path = (dir_.path() / "import.txt").string();
  std::ofstream(path) << "+,EXAMPLE\\jdoe,QZW3SVC1\n-,OTHER\\jdoe,QZW3SVC1\n";

  CallOutcome out =
      CallMethod(*platform_, "ImportProfileAdmins",
                 {Val(Variant(path)), Val(Variant("LDAP://RootDSE")), Val(Variant(kComputer))});

  EXPECT_EQ(ToText(out.result),
            "<table><tr><td class=UserInfo2>File: " + path +
                " opened successfully.</td></tr><tr><td class=UserInfo2>Success: User "
                "EXAMPLE\\jdoe added to Profile Group QZW3SVC1</td></tr><tr><td "
                "class=UserInfo2>Success: User OTHER\\jdoe removed from Profile Group "
                "QZW3SVC1</td></tr></table>");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "");
}

}  // namespace
}  // namespace brindlecore::testing
