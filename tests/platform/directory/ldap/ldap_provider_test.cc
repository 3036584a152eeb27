#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/default_platform.h"
#include "support/matchers.h"
#include "support/slapd_server.h"
#include "support/temp_dir.h"

namespace brindlecore::platform {
namespace {

using testing::ErrorNumberIs;
using testing::ErrorOf;
using testing::SlapdServer;
using testing::TempDir;

class LdapProviderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SlapdServer();
    staff_ = server_->AddOu("Staff");
    anna_ = server_->AddUser("Smith, Anna", "anna", "Anna-Pass-1", "Anna", "Smith", staff_);
    bob_ = server_->AddUser("bob", "bob", "Bob-Pass-1");
    sales_ = server_->AddGroup("Sales", "sales", "Sales people", {anna_, bob_});
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    server_->WriteConfig(root_.path());
    platform_ = MakePlatform(root_.path());
  }

  // A platform whose platform.conf has these lines instead of the server's own.
  std::unique_ptr<Platform> PlatformWith(const std::string& conf) {
    std::ofstream(root_.path() / "platform.conf") << conf;
    return MakePlatform(root_.path());
  }

  std::string Port() const { return server_->uri().substr(std::string("ldap://").size()); }

  static SlapdServer* server_;
  static std::string staff_, anna_, bob_, sales_;
  TempDir root_;
  std::unique_ptr<Platform> platform_;
};

SlapdServer* LdapProviderTest::server_ = nullptr;
std::string LdapProviderTest::staff_, LdapProviderTest::anna_, LdapProviderTest::bob_,
    LdapProviderTest::sales_;

TEST_F(LdapProviderTest, RootDseNamesTheDomain) {
  auto root = platform_->GetObject("LDAP://RootDSE");
  EXPECT_EQ(ToText(root->Get("defaultNamingContext")), "DC=example,DC=test");
  EXPECT_EQ(root->ADsPath(), "LDAP://RootDSE");
}

TEST_F(LdapProviderTest, PathsAreSpelledLikeTheOriginalDirectory) {
  const std::string host = Port();
  struct Case {
    std::string path, ads_path, name, cls;
  } cases[] = {
      {"LDAP://DC=example,DC=test", "LDAP://DC=example,DC=test", "DC=example", "domainDNS"},
      {"LDAP://cn=Smith\\, Anna,ou=Staff,dc=example,dc=test",
       "LDAP://CN=Smith\\, Anna,OU=Staff,DC=example,DC=test", "CN=Smith, Anna", "user"},
      {"LDAP://CN=Smith\\2C Anna,OU=Staff,DC=example,DC=test",
       "LDAP://CN=Smith\\, Anna,OU=Staff,DC=example,DC=test", "CN=Smith, Anna", "user"},
      {"LDAP://" + host + "/CN=bob,DC=example,DC=test",
       "LDAP://" + host + "/CN=bob,DC=example,DC=test", "CN=bob", "user"},
      {"LDAP://OU=Staff,DC=example,DC=test", "LDAP://OU=Staff,DC=example,DC=test", "OU=Staff",
       "organizationalUnit"},
      {"LDAP://" + host, "LDAP://" + host + "/DC=example,DC=test", "DC=example", "domainDNS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto object = platform_->GetObject(c.path);
    EXPECT_EQ(object->ADsPath(), c.ads_path);
    EXPECT_EQ(object->Name(), c.name);
    EXPECT_EQ(object->Class(), c.cls);
  }
}

TEST_F(LdapProviderTest, GroupMembersComeInStoredOrderInOurSpelling) {
  const std::string path = "LDAP://" + Port() + "/" + sales_;
  auto group = Require(platform_->GetObject(path), DirKind::kGroup);
  EXPECT_EQ(group->Name(), "CN=Sales");
  EXPECT_EQ(group->Description(), "Sales people");
  auto members = group->Members();
  std::vector<std::string> seen;
  while (auto member = members->Next()) seen.push_back(member->Name() + "|" + member->ADsPath());
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "CN=Smith, Anna|LDAP://" + Port() + "/" + anna_,
                      "CN=bob|LDAP://" + Port() + "/" + bob_,
                  }));
  EXPECT_THAT(ErrorOf([&] { Require(platform_->GetObject("LDAP://" + bob_), DirKind::kGroup); }),
              ErrorNumberIs(errors::kRtTypeMismatch));
}

TEST_F(LdapProviderTest, PropertiesReadAsStoredAndMissingOnesFail) {
  auto anna = platform_->GetObject("LDAP://" + anna_);
  EXPECT_EQ(ToText(anna->Get("sAMAccountName")), "anna");
  EXPECT_EQ(ToText(anna->Get("givenname")), "Anna");
  EXPECT_EQ(ToText(anna->Get("name")), "Smith, Anna");
  EXPECT_EQ(ToText(anna->Get("distinguishedName")), anna_);
  EXPECT_THAT(ErrorOf([&] { anna->Get("mail"); }), ErrorNumberIs(errors::kEAdsPropertyNotFound));
  EXPECT_THAT(ErrorOf([&] { anna->Members(); }), ErrorNumberIs(errors::kRtObjectDoesntSupport));
  EXPECT_TRUE(anna->Supports(DirKind::kUser));
  EXPECT_FALSE(anna->Supports(DirKind::kContainer));
}

TEST_F(LdapProviderTest, MembershipChangesAreStoredAndRefusedTwice) {
  std::string dn = server_->AddGroup("Temp", "temp", "", {});
  auto group = platform_->GetObject("LDAP://" + dn);
  group->Add("LDAP://" + bob_);
  EXPECT_THAT(ErrorOf([&] { group->Add("LDAP://" + bob_); }),
              ErrorNumberIs(errors::kErrorMemberInAlias));
  auto fresh = platform_->GetObject("LDAP://" + dn);
  auto first = fresh->Members()->Next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Name(), "CN=bob");
  fresh->Remove("LDAP://" + bob_);
  EXPECT_THAT(ErrorOf([&] { fresh->Remove("LDAP://" + bob_); }),
              ErrorNumberIs(errors::kErrorMemberNotInAlias));
}

TEST_F(LdapProviderTest, ContainersEnumerateTheirChildrenByClass) {
  auto domain = platform_->GetObject("LDAP://DC=example,DC=test");
  domain->SetFilter({"group"});
  std::vector<std::string> names;
  auto children = domain->Enumerate();
  while (auto child = children->Next()) names.push_back(child->Name());
  EXPECT_NE(std::find(names.begin(), names.end(), "CN=Sales"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "CN=bob"), names.end());
}

TEST_F(LdapProviderTest, FailuresMapOntoTheCatalogue) {
  struct Case {
    std::string path;
    int32_t error;
  } cases[] = {
      {"LDAP://CN=nobody,DC=example,DC=test", errors::kErrorDsNoSuchObject.number},
      {"LDAP://CN=a,,DC=example", errors::kErrorDsInvalidDnSyntax.number},
      {"LDAP://127.0.0.1:1/DC=example,DC=test", errors::kErrorDsServerDown.number},
      {"LDAPX://DC=example", errors::kEAdsBadPathname.number},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_THAT(ErrorOf([&] { platform_->GetObject(c.path); }), ErrorNumberIs(c.error));
  }
}

TEST_F(LdapProviderTest, RefusedServiceAccountIsALogonFailure) {
  std::ofstream(root_.path() / "wrong.pw") << "not-the-password\n";
  auto platform =
      PlatformWith("ldap.uri = " + server_->uri() + "\nldap.bind_dn = " + server_->service_dn() +
                   "\nldap.bind_password_file = " + (root_.path() / "wrong.pw").string() + "\n");
  EXPECT_THAT(ErrorOf([&] { platform->GetObject("LDAP://RootDSE"); }),
              ErrorNumberIs(errors::kErrorLogonFailure));
}

TEST_F(LdapProviderTest, ServersAreTriedInOrderPastADeadOne) {
  auto platform =
      PlatformWith("ldap.uri = ldap://127.0.0.1:1 " + server_->uri() + "\nldap.timeout = 2\n");
  EXPECT_EQ(platform->GetObject("LDAP://" + bob_)->Name(), "CN=bob");
  auto dead = PlatformWith("ldap.uri = ldap://127.0.0.1:1\n");
  EXPECT_THAT(ErrorOf([&] { dead->GetObject("LDAP://" + bob_); }),
              ErrorNumberIs(errors::kErrorDsServerDown));
}

}  // namespace
}  // namespace brindlecore::platform
