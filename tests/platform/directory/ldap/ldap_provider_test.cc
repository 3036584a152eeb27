// The LDAP provider and the directory search against a real slapd.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
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

struct Credentials {
  std::string user, password;
};

class LdapTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SlapdServer();
    std::string staff = server_->AddOu("Staff");
    anna_ = server_->AddUser("Smith, Anna", "anna", "Anna-Pass-1", "Anna", "Smith", staff);
    bob_ = server_->AddUser("bob", "bob", "Bob-Pass-1", "", "Builder");
    server_->AddUser("O'Brien", "o'brien", "Obrien-Pass-1", "Pat", "O'Brien", staff);
    sales_ = server_->AddGroup("Sales", "sales", "Sales people", {anna_, bob_});
    server_->AddNumberedUsers("many", 2500, server_->AddOu("Many"));
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

  static std::string Host() { return server_->uri().substr(std::string("ldap://").size()); }

  std::unique_ptr<Command> NewCommand(const std::optional<Credentials>& credentials = {}) {
    auto connection = platform_->NewConnection();
    connection->SetProvider("ADsDSOObject");
    if (credentials) {
      connection->SetProperty("User ID", credentials->user);
      connection->SetProperty("Password", credentials->password);
    }
    connection->Open("Active Directory Provider", "", "", -1);
    return connection->CreateCommand();
  }

  // Every row of a query as "col|col|...", Null written as "<null>".
  std::vector<std::string> Rows(const std::string& text, const std::vector<std::string>& columns,
                                int size_limit = 0,
                                const std::optional<Credentials>& credentials = {}) {
    auto command = NewCommand(credentials);
    command->SetCommandText(text);
    command->SetProperty("Page Size", int16_t{1000});
    command->SetProperty("searchscope", int32_t{2});
    command->SetProperty("Cache Results", false);
    if (size_limit) command->SetProperty("Size Limit", int32_t{size_limit});
    auto records = command->Execute();
    std::vector<std::string> rows;
    for (; !records->Eof(); records->MoveNext()) {
      std::string row;
      for (const auto& c : columns) {
        Variant v = records->Field(c);
        row += row.empty() ? "" : "|";
        row += v.IsNull() ? "<null>" : ToText(v);
      }
      rows.push_back(row);
    }
    records->Close();
    return rows;
  }

  static SlapdServer* server_;
  static std::string anna_, bob_, sales_;
  TempDir root_;
  std::unique_ptr<Platform> platform_;
};

SlapdServer* LdapTest::server_ = nullptr;
std::string LdapTest::anna_, LdapTest::bob_, LdapTest::sales_;

TEST_F(LdapTest, PathsAreSpelledLikeTheOriginalDirectory) {
  auto root = platform_->GetObject("LDAP://RootDSE");
  EXPECT_EQ(ToText(root->Get("defaultNamingContext")), "DC=example,DC=test");
  EXPECT_EQ(root->ADsPath(), "LDAP://RootDSE");
  const std::string host = Host();
  struct Case {
    std::string path, ads_path, name, cls;
  } cases[] = {
      {"LDAP://CN=Smith\\2C Anna,OU=Staff,DC=example,DC=test",
       "LDAP://CN=Smith\\, Anna,OU=Staff,DC=example,DC=test", "CN=Smith, Anna", "user"},
      {"LDAP://" + host + "/CN=bob,DC=example,DC=test",
       "LDAP://" + host + "/CN=bob,DC=example,DC=test", "CN=bob", "user"},
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

TEST_F(LdapTest, GroupMembersComeInStoredOrderInOurSpelling) {
  auto group = Require(platform_->GetObject("LDAP://" + Host() + "/" + sales_), DirKind::kGroup);
  EXPECT_EQ(group->Name(), "CN=Sales");
  EXPECT_EQ(group->Description(), "Sales people");
  auto members = group->Members();
  std::vector<std::string> seen;
  while (auto member = members->Next()) seen.push_back(member->Name() + "|" + member->ADsPath());
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "CN=Smith, Anna|LDAP://" + Host() + "/" + anna_,
                      "CN=bob|LDAP://" + Host() + "/" + bob_,
                  }));
  EXPECT_THAT(ErrorOf([&] { Require(platform_->GetObject("LDAP://" + bob_), DirKind::kGroup); }),
              ErrorNumberIs(errors::kRtTypeMismatch));
}

TEST_F(LdapTest, PropertiesReadAsStoredAndMissingOnesFail) {
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

TEST_F(LdapTest, MembershipChangesAreStoredAndRefusedTwice) {
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

  // The domain's children filtered by class.
  auto domain = platform_->GetObject("LDAP://DC=example,DC=test");
  domain->SetFilter({"group"});
  std::vector<std::string> names;
  auto children = domain->Enumerate();
  while (auto child = children->Next()) names.push_back(child->Name());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"CN=Sales", "CN=Temp"}));
}

TEST_F(LdapTest, FailuresMapOntoTheCatalogue) {
  const std::pair<std::string, int32_t> cases[] = {
      {"LDAP://CN=nobody,DC=example,DC=test", errors::kErrorDsNoSuchObject.number},
      {"LDAP://CN=a,,DC=example", errors::kErrorDsInvalidDnSyntax.number},
      {"LDAP://127.0.0.1:1/DC=example,DC=test", errors::kErrorDsServerDown.number},
      {"LDAPX://DC=example", errors::kEAdsBadPathname.number},
  };
  for (const auto& [path, error] : cases) {
    EXPECT_THAT(ErrorOf([&] { platform_->GetObject(path); }), ErrorNumberIs(error)) << path;
  }
  std::ofstream(root_.path() / "wrong.pw") << "not-the-password\n";
  auto refused =
      PlatformWith("ldap.uri = " + server_->uri() + "\nldap.bind_dn = " + server_->service_dn() +
                   "\nldap.bind_password_file = " + (root_.path() / "wrong.pw").string() + "\n");
  EXPECT_THAT(ErrorOf([&] { refused->GetObject("LDAP://RootDSE"); }),
              ErrorNumberIs(errors::kErrorLogonFailure));
}

TEST_F(LdapTest, ServersAreTriedInOrderPastADeadOne) {
  auto platform =
      PlatformWith("ldap.uri = ldap://127.0.0.1:1 " + server_->uri() + "\nldap.timeout = 2\n");
  EXPECT_EQ(platform->GetObject("LDAP://" + bob_)->Name(), "CN=bob");
  auto dead = PlatformWith("ldap.uri = ldap://127.0.0.1:1\n");
  EXPECT_THAT(ErrorOf([&] { dead->GetObject("LDAP://" + bob_); }),
              ErrorNumberIs(errors::kErrorDsServerDown));
}

TEST_F(LdapTest, SelectReturnsNamePathAndAttributes) {
  EXPECT_EQ(Rows("select name, AdsPath, cn from 'LDAP://DC=example,DC=test' where "
                 "sAMAccountName='anna'",
                 {"NAME", "adspath", "cn"}),
            (std::vector<std::string>{
                "Smith, Anna|LDAP://CN=Smith\\, Anna,OU=Staff,DC=example,DC=test|Smith, Anna"}));
  EXPECT_EQ(Rows("select AdsPath from 'LDAP://" + Host() + "/DC=example,DC=test' where cn='bob'",
                 {"AdsPath"}),
            (std::vector<std::string>{"LDAP://" + Host() + "/CN=bob,DC=example,DC=test"}));
}

TEST_F(LdapTest, SelectConditionsCombineAndEscape) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"sAMAccountName='anna' or sAMAccountName='o''brien'", {"anna", "o'brien"}},
      {"objectClass='user' and not sAMAccountName='anna'", {"o'brien"}},
      {"NOT (sAMAccountName='anna' OR sn='O''Brien') and objectClass='user'", {}},
      {"sAMAccountName='an*'", {"anna"}},
      {"sAMAccountName='anna)(objectClass=*'", {}},
      {"sAMAccountName='*)(|(cn=*'", {}},
      {"sn='Smith\\'", {}},
  };
  for (const auto& [where, accounts] : cases) {
    EXPECT_EQ(Rows("select sAMAccountName from 'LDAP://OU=Staff,DC=example,DC=test' where " + where,
                   {"sAMAccountName"}),
              accounts)
        << where;
  }
}

TEST_F(LdapTest, LdapDialectHonoursScopeAndGivesNullForAbsentAttributes) {
  EXPECT_EQ(Rows("<LDAP://DC=example,DC=test>;(objectClass=user);name,givenName;oneLevel",
                 {"name", "givenName"}),
            (std::vector<std::string>{"bob|<null>"}));
  EXPECT_EQ(Rows("<LDAP://DC=example,DC=test>;(objectClass=domainDNS);dc;base", {"dc"}),
            (std::vector<std::string>{"example"}));
}

TEST_F(LdapTest, SizeLimitAndPagingGoPastTheServersLimit) {
  const std::string text = "<LDAP://OU=Many,DC=example,DC=test>;(objectClass=user);cn;subTree";
  EXPECT_EQ(Rows(text, {"cn"}).size(), 2500u);
  EXPECT_EQ(Rows(text, {"cn"}, 1200).size(), 1200u);
  EXPECT_EQ(Rows(text, {"cn"}, 20000, Credentials{"anna", "Anna-Pass-1"}).size(), 2500u);
  EXPECT_EQ(Rows(text, {"cn"}, 1).size(), 1u);
}

TEST_F(LdapTest, RecordsetRefusesWhatItCannotAnswerAndMovesFirstWithoutCaching) {
  auto command = NewCommand();
  command->SetCommandText(
      "select cn from 'LDAP://DC=example,DC=test' where sAMAccountName='nobody'");
  auto records = command->Execute();
  EXPECT_TRUE(records->Eof());
  EXPECT_THAT(ErrorOf([&] { records->Field("sn"); }), ErrorNumberIs(errors::kAdErrItemNotFound));
  EXPECT_THAT(ErrorOf([&] { records->Field("cn"); }), ErrorNumberIs(errors::kAdErrNoCurrentRecord));
  EXPECT_THAT(ErrorOf([&] { records->MoveNext(); }), ErrorNumberIs(errors::kAdErrNoCurrentRecord));
  records->Close();
  EXPECT_THAT(ErrorOf([&] { records->Eof(); }), ErrorNumberIs(errors::kAdErrObjectClosed));

  command->SetCommandText("select cn from 'LDAP://OU=Nowhere,DC=example,DC=test'");
  EXPECT_THAT(ErrorOf([&] { command->Execute(); }), ErrorNumberIs(errors::kDbENotable));

  command->SetCommandText("<LDAP://OU=Many,DC=example,DC=test>;(objectClass=user);cn;oneLevel");
  command->SetProperty("Page Size", int16_t{100});
  command->SetProperty("Cache Results", false);
  auto many = command->Execute();
  std::string first = ToText(many->Field("cn"));
  for (int i = 0; i < 250; ++i) many->MoveNext();
  EXPECT_NE(ToText(many->Field("cn")), first);
  many->MoveFirst();
  EXPECT_EQ(ToText(many->Field("cn")), first);
}

TEST_F(LdapTest, CredentialsOfTheConnection) {
  const std::string query = "select cn from 'LDAP://DC=example,DC=test' where sAMAccountName='bob'";
  const int32_t denied = errors::kDbSecEPermissiondenied.number;
  const std::pair<Credentials, int32_t> cases[] = {
      {{"anna", "Anna-Pass-1"}, 0},        {{anna_, "Anna-Pass-1"}, 0},
      {{"nobody", "Anna-Pass-1"}, denied}, {{"*", "Anna-Pass-1"}, denied},
      {{"a*", "Anna-Pass-1"}, denied},     {{"anna", ""}, denied},
  };
  for (const auto& [credentials, error] : cases) {
    EXPECT_THAT(ErrorOf([&] { Rows(query, {"cn"}, 0, credentials); }), ErrorNumberIs(error))
        << credentials.user << " / " << credentials.password;
  }
  // An empty password is refused at Open, before any server is reached; only the directory
  // provider opens at all.
  auto unreachable = PlatformWith("ldap.uri = ldap://127.0.0.1:1\n");
  auto connection = unreachable->NewConnection();
  connection->SetProvider("ADsDSOObject");
  connection->SetProperty("User ID", "anna");
  connection->SetProperty("Password", "");
  EXPECT_THAT(ErrorOf([&] { connection->Open("Active Directory Provider", "", "", -1); }),
              ErrorNumberIs(errors::kDbSecEPermissiondenied));
  auto other = platform_->NewConnection();
  other->SetProvider("MSDASQL");
  EXPECT_THAT(ErrorOf([&] { other->Open("Active Directory Provider", "", "", -1); }),
              ErrorNumberIs(errors::kAdErrProviderNotFound));
}

}  // namespace
}  // namespace brindlecore::platform
