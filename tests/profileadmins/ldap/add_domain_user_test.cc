// Adding domain accounts to local groups: existence checked by a search of a real slapd.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/slapd_server.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";

// Records what the method asks of directory searches: command texts and command properties with
// the type of their values.
class SearchRecorder : public platform::PlatformWrapper {
 public:
  using PlatformWrapper::PlatformWrapper;
  std::vector<std::string> texts, properties;

  std::unique_ptr<platform::Connection> NewConnection() override {
    return std::make_unique<Connection>(*this, PlatformWrapper::NewConnection());
  }

 private:
  class Command : public platform::Command {
   public:
    Command(SearchRecorder& r, std::unique_ptr<platform::Command> c) : r_(r), c_(std::move(c)) {}
    void SetCommandText(const std::string& text) override {
      r_.texts.push_back(text);
      c_->SetCommandText(text);
    }
    void SetProperty(const std::string& name, const Variant& value) override {
      r_.properties.push_back(name + "=" + std::string(TypeName(value.type())) + ":" +
                              NumberText(static_cast<int32_t>(value.number())));
      c_->SetProperty(name, value);
    }
    std::unique_ptr<platform::Recordset> Execute() override { return c_->Execute(); }

   private:
    SearchRecorder& r_;
    std::unique_ptr<platform::Command> c_;
  };
  class Connection : public platform::Connection {
   public:
    Connection(SearchRecorder& r, std::unique_ptr<platform::Connection> c)
        : r_(r), c_(std::move(c)) {}
    void SetProvider(const std::string& p) override { c_->SetProvider(p); }
    void SetProperty(const std::string& n, const Variant& v) override { c_->SetProperty(n, v); }
    void Open(const std::string& s, const std::string& u, const std::string& p,
              int32_t o) override {
      c_->Open(s, u, p, o);
    }
    std::unique_ptr<platform::Command> CreateCommand() override {
      return std::make_unique<Command>(r_, c_->CreateCommand());
    }

   private:
    SearchRecorder& r_;
    std::unique_ptr<platform::Connection> c_;
  };
};

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

TEST_F(AddDomainUserTest, AddsByWinNtPathOnlyWhenTheDirectoryKnowsTheAccount) {
  struct Case {
    const char* provider;
    const char* user;
    bool result;
    std::string error;
  };
  const std::string absent = "-1 ,The user to add does not exist on the domain.";
  const std::vector<Case> cases = {
      {"LDAP://RootDSE", "EXAMPLE\\nobody", false, absent},
      // A second backslash stays in the account part, which then names nobody.
      {"LDAP://RootDSE", "EXAMPLE\\sub\\jdoe", false, absent},
      {"LDAP://OU=Staff,DC=example,DC=test", "EXAMPLE\\jdoe", true, ""},
      {"LDAP://RootDSE", "EXAMPLE\\jdoe", false,
       "-2147023518 ,The specified account name is already a member of the local group."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.provider) + " " + c.user);
    CallOutcome out = Add(*platform_, c.provider, c.user);
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(4), c.error);
  }
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "jdoe");
}

TEST_F(AddDomainUserTest, SearchAsksForOneRowWithTheSixProperties) {
  SearchRecorder recorder(*platform_);
  CallOutcome out = Add(recorder, "LDAP://RootDSE", "EXAMPLE\\jdoe");

  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(recorder.texts,
            std::vector<std::string>{"select name, AdsPath from 'LDAP://DC=example,DC=test' where "
                                     "sAMAccountName='jdoe'"});
  const std::vector<std::string> expected = {"Page Size=Integer:1000",  "Timeout=Integer:240",
                                             "searchscope=Long:2",      "Chase referrals=Long:64",
                                             "Cache Results=Boolean:0", "Size Limit=Integer:1"};
  EXPECT_EQ(recorder.properties, expected);
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
