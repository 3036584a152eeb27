#include <gtest/gtest.h>

#include <fstream>
#include <functional>
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

class SearchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SlapdServer();
    std::string staff = server_->AddOu("Staff");
    anna_ = server_->AddUser("Smith, Anna", "anna", "Anna-Pass-1", "Anna", "Smith", staff);
    server_->AddUser("bob", "bob", "Bob-Pass-1", "", "Builder");
    server_->AddUser("O'Brien", "o'brien", "Obrien-Pass-1", "Pat", "O'Brien", staff);
    server_->AddGroup("Sales", "sales", "Sales people", {anna_});
    std::string many = server_->AddOu("Many");
    server_->AddNumberedUsers("many", 2500, many);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    server_->WriteConfig(root_.path());
    platform_ = MakePlatform(root_.path());
  }

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

  std::vector<std::string> Accounts(const std::string& where) {
    return Rows("select sAMAccountName from 'LDAP://OU=Staff,DC=example,DC=test' where " + where,
                {"sAMAccountName"});
  }

  static SlapdServer* server_;
  static std::string anna_;
  TempDir root_;
  std::unique_ptr<Platform> platform_;
};

SlapdServer* SearchTest::server_ = nullptr;
std::string SearchTest::anna_;

TEST_F(SearchTest, SelectReturnsNamePathAndAttributes) {
  EXPECT_EQ(Rows("select name, AdsPath, cn from 'LDAP://DC=example,DC=test' where "
                 "sAMAccountName='anna'",
                 {"NAME", "adspath", "cn"}),
            (std::vector<std::string>{
                "Smith, Anna|LDAP://CN=Smith\\, Anna,OU=Staff,DC=example,DC=test|Smith, Anna"}));
  std::string host = server_->uri().substr(7);
  EXPECT_EQ(Rows("select AdsPath from 'LDAP://" + host + "/DC=example,DC=test' where cn='bob'",
                 {"AdsPath"}),
            (std::vector<std::string>{"LDAP://" + host + "/CN=bob,DC=example,DC=test"}));
}

TEST_F(SearchTest, SelectConditionsCombineAndEscape) {
  struct Case {
    std::string where;
    std::vector<std::string> accounts;
  } cases[] = {
      {"sAMAccountName='anna' or sAMAccountName='o''brien'", {"anna", "o'brien"}},
      {"objectClass='user' and not sAMAccountName='anna'", {"o'brien"}},
      {"NOT (sAMAccountName='anna' OR sn='O''Brien') and objectClass='user'", {}},
      {"sAMAccountName='an*'", {"anna"}},
      {"sAMAccountName='anna)(objectClass=*'", {}},
      {"sAMAccountName='*)(|(cn=*'", {}},
      {"sn='Smith\\'", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    EXPECT_EQ(Accounts(c.where), c.accounts);
  }
}

TEST_F(SearchTest, MalformedCommandsAreRefused) {
  for (std::string text : {
           "select sAMAccountName from 'LDAP://DC=example,DC=test' where sAMAccountName='o'brien'",
           "select from 'LDAP://DC=example,DC=test'",
           "select a b from 'LDAP://DC=example,DC=test'",
           "select a from 'LDAP://DC=example,DC=test' where a>'1'",
           "select a from 'LDAP://DC=example,DC=test' where a='1' and",
           "select a from 'LDAP://DC=example,DC=test' where (a='1'",
           "select a from LDAP://DC=example,DC=test",
           "delete from 'LDAP://DC=example,DC=test'",
           "<LDAP://DC=example,DC=test>;(objectClass=user);cn;everywhere",
           "<LDAP://DC=example,DC=test>;(objectClass=user",
           "<LDAP://DC=example,DC=test>;(objectClass=user));cn;subTree",
       }) {
    SCOPED_TRACE(text);
    EXPECT_THAT(ErrorOf([&] { Rows(text, {}); }), ErrorNumberIs(errors::kDbEErrorsincommand));
  }
}

TEST_F(SearchTest, LdapDialectHonoursScopeAndGivesNullForAbsentAttributes) {
  const std::string attrs = ";sAMAccountName,name,ADsPath,givenName,sn;";
  EXPECT_EQ(Rows("<LDAP://DC=example,DC=test>;(&(objectClass=User)(cn=bob))" + attrs + "subTree",
                 {"sAMAccountName", "name", "ADsPath", "givenName", "sn"}),
            (std::vector<std::string>{"bob|bob|LDAP://CN=bob,DC=example,DC=test|<null>|Builder"}));
  EXPECT_EQ(Rows("<LDAP://DC=example,DC=test>;(objectClass=user)" + attrs + "oneLevel", {"name"}),
            (std::vector<std::string>{"bob"}));
  EXPECT_EQ(Rows("<LDAP://DC=example,DC=test>;(objectClass=domainDNS);dc;base", {"dc"}),
            (std::vector<std::string>{"example"}));
}

TEST_F(SearchTest, SizeLimitAndPagingGoPastTheServersLimit) {
  const std::string text = "<LDAP://OU=Many,DC=example,DC=test>;(objectClass=user);cn;subTree";
  EXPECT_EQ(Rows(text, {"cn"}).size(), 2500u);
  EXPECT_EQ(Rows(text, {"cn"}, 1200).size(), 1200u);
  EXPECT_EQ(Rows(text, {"cn"}, 20000, Credentials{"anna", "Anna-Pass-1"}).size(), 2500u);
  EXPECT_EQ(Rows(text, {"cn"}, 1).size(), 1u);
}

TEST_F(SearchTest, RecordsetRefusesWhatItCannotAnswer) {
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
}

TEST_F(SearchTest, MoveFirstRestartsEvenWithoutCaching) {
  auto command = NewCommand();
  command->SetCommandText("<LDAP://OU=Many,DC=example,DC=test>;(objectClass=user);cn;oneLevel");
  command->SetProperty("Page Size", int16_t{100});
  command->SetProperty("Cache Results", false);
  auto records = command->Execute();
  std::string first = ToText(records->Field("cn"));
  for (int i = 0; i < 250; ++i) records->MoveNext();
  EXPECT_NE(ToText(records->Field("cn")), first);
  records->MoveFirst();
  EXPECT_EQ(ToText(records->Field("cn")), first);
}

TEST_F(SearchTest, CredentialsOfTheConnection) {
  const std::string query = "select cn from 'LDAP://DC=example,DC=test' where sAMAccountName='bob'";
  const int32_t denied = errors::kDbSecEPermissiondenied.number;
  struct Case {
    Credentials credentials;
    int32_t error;
  } cases[] = {
      {{"anna", "Anna-Pass-1"}, 0},
      {{"EXAMPLE\\anna", "Anna-Pass-1"}, 0},
      {{anna_, "Anna-Pass-1"}, 0},
      {{"anna", "wrong"}, denied},
      {{"nobody", "Anna-Pass-1"}, denied},
      {{"*", "Anna-Pass-1"}, denied},
      {{"a*", "Anna-Pass-1"}, denied},
      {{"anna@example.test", "Anna-Pass-1"}, denied},
      {{"anna", ""}, denied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.credentials.user + " / " + c.credentials.password);
    EXPECT_THAT(ErrorOf([&] { Rows(query, {"cn"}, 0, c.credentials); }), ErrorNumberIs(c.error));
  }
}

TEST_F(SearchTest, EmptyPasswordIsRefusedAtOpenWithoutReachingAServer) {
  std::ofstream(root_.path() / "platform.conf") << "ldap.uri = ldap://127.0.0.1:1\n";
  auto platform = MakePlatform(root_.path());
  auto connection = platform->NewConnection();
  connection->SetProvider("ADsDSOObject");
  connection->SetProperty("User ID", "anna");
  connection->SetProperty("Password", "");
  EXPECT_THAT(ErrorOf([&] { connection->Open("Active Directory Provider", "", "", -1); }),
              ErrorNumberIs(errors::kDbSecEPermissiondenied));
}

TEST_F(SearchTest, OnlyTheDirectoryProviderOpens) {
  auto connection = platform_->NewConnection();
  connection->SetProvider("MSDASQL");
  EXPECT_THAT(ErrorOf([&] { connection->Open("Active Directory Provider", "", "", -1); }),
              ErrorNumberIs(errors::kAdErrProviderNotFound));
}

TEST_F(SearchTest, SearchesFailOverToTheNextServer) {
  std::ofstream(root_.path() / "platform.conf")
      << "ldap.uri = ldap://127.0.0.1:1 " << server_->uri() << "\nldap.timeout = 2\n";
  platform_ = MakePlatform(root_.path());
  EXPECT_EQ(Rows("select cn from 'LDAP://DC=example,DC=test' where sAMAccountName='bob'", {"cn"}),
            (std::vector<std::string>{"bob"}));
}

}  // namespace
}  // namespace brindlecore::platform
