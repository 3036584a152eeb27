// The WinNT provider as the component's methods use it, bound through the real platform over a
// temporary root.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/default_platform.h"
#include "support/matchers.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::platform {
namespace {

using testing::AutomationErrorIs;
using testing::ErrorNumberIs;
using testing::ErrorOf;

class WinNtProviderTest : public ::testing::Test {
 protected:
  WinNtProviderTest() {
    testing::AccountsFixture(dir_.path())
        .Computer("WEBSRV1")
        .User("WEBSRV1", "bob", "pw-bob", "Bob B", "Sales")
        .User("WEBSRV1", "nopass")
        .Group("WEBSRV1", "QZW3SVC1", "Site one")
        .Member("WEBSRV1", "QZW3SVC1", "bob")
        .Member("WEBSRV1", "QZW3SVC1", "OTHER/carol")
        .Computer("CORP")
        .User("CORP", "dave");
    platform_ = MakePlatform(dir_.path());
  }

  std::vector<std::string> Walk(DirEnumerator& e) {
    std::vector<std::string> out;
    while (auto o = e.Next()) out.push_back(o->Name() + "=" + o->ADsPath() + ":" + o->Class());
    return out;
  }

  testing::TempDir dir_;
  std::unique_ptr<Platform> platform_;
};

// Every refusal the component's methods rely on, with its exact number.
TEST_F(WinNtProviderTest, ErrorTable) {
  struct Case {
    const char* what;
    std::function<void(Platform&)> call;
    errors::ErrorCode expected;
  };
  const std::vector<Case> cases = {
      {"missing database", [](Platform& p) { p.GetObject("WinNT://NOPE"); },
       errors::kErrorBadNetpath},
      {"missing database, computer", [](Platform& p) { p.GetObject("WinNT://NOPE,computer"); },
       errors::kErrorBadNetpath},
      {"missing group", [](Platform& p) { p.GetObject("WinNT://WEBSRV1/QZW3SVC9"); },
       errors::kNerrGroupnotfound},
      {"user bound as group", [](Platform& p) { p.GetObject("WinNT://WEBSRV1/bob,group"); },
       errors::kNerrGroupnotfound},
      {"missing user", [](Platform& p) { p.GetObject("WinNT://WEBSRV1/zed,user"); },
       errors::kNerrUsernotfound},
      {"bad suffix", [](Platform& p) { p.GetObject("WinNT://WEBSRV1,printer"); },
       errors::kEAdsBadPathname},
      {"empty name", [](Platform& p) { p.GetObject("WinNT://"); }, errors::kEAdsBadPathname},
      {"three segments", [](Platform& p) { p.GetObject("WinNT://A/B/C"); },
       errors::kEAdsBadPathname},
      {"wrong provider case", [](Platform& p) { p.GetObject("winnt://WEBSRV1"); },
       errors::kEAdsBadPathname},
      {"add missing account",
       [](Platform& p) { p.GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://WEBSRV1/zed"); },
       errors::kErrorNoSuchMember},
      {"add missing account of another database here",
       [](Platform& p) { p.GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://CORP/zed"); },
       errors::kErrorNoSuchMember},
      {"add member twice, other case",
       [](Platform& p) { p.GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://websrv1/BOB"); },
       errors::kErrorMemberInAlias},
      {"add foreign member twice",
       [](Platform& p) { p.GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://other/CAROL"); },
       errors::kErrorMemberInAlias},
      {"remove non-member",
       [](Platform& p) {
         p.GetObject("WinNT://WEBSRV1/QZW3SVC1")->Remove("WinNT://WEBSRV1/nopass");
       },
       errors::kErrorMemberNotInAlias},
      {"create existing group",
       [](Platform& p) {
         auto g = p.GetObject("WinNT://WEBSRV1")->Create("group", "qzw3svc1");
         g->Put("groupType", Variant(4));
         g->SetInfo();
       },
       errors::kErrorAliasExists},
      {"delete missing group",
       [](Platform& p) { p.GetObject("WinNT://WEBSRV1,computer")->Delete("group", "QZW3SVC9"); },
       errors::kNerrGroupnotfound},
      {"missing property",
       [](Platform& p) { p.GetObject("WinNT://WEBSRV1/bob")->Get("groupType"); },
       errors::kEAdsPropertyNotFound},
      {"add path of another shape",
       [](Platform& p) { p.GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://WEBSRV1"); },
       errors::kEAdsBadPathname},
      {"remove path of another shape",
       [](Platform& p) { p.GetObject("WinNT://WEBSRV1/QZW3SVC1")->Remove("bob"); },
       errors::kErrorMemberNotInAlias},
      // Last: it takes the group away from the rows above.
      {"add to a group deleted since it was bound",
       [](Platform& p) {
         auto group = p.GetObject("WinNT://WEBSRV1/QZW3SVC1");
         p.GetObject("WinNT://WEBSRV1")->Delete("group", "QZW3SVC1");
         group->Add("WinNT://WEBSRV1/nopass");
       },
       errors::kNerrGroupnotfound},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(ErrorOf([&] { c.call(*platform_); }), AutomationErrorIs(c.expected)) << c.what;
  }
}

TEST_F(WinNtProviderTest, ObjectsReportStoredCaseAndProperties) {
  auto user = platform_->GetObject("WinNT://websrv1/BOB,user");
  EXPECT_EQ(user->Name(), "bob");
  EXPECT_EQ(user->ADsPath(), "WinNT://WEBSRV1/bob");
  EXPECT_EQ(user->Class(), "User");
  EXPECT_EQ(user->FullName(), "Bob B");
  EXPECT_EQ(user->Description(), "Sales");
  EXPECT_TRUE(user->Supports(DirKind::kUser));
  EXPECT_FALSE(user->Supports(DirKind::kGroup));

  auto group = platform_->GetObject("WinNT://WEBSRV1/qzw3svc1");
  EXPECT_EQ(group->Name(), "QZW3SVC1");
  EXPECT_EQ(group->Class(), "Group");
  EXPECT_EQ(group->Get("groupType"), Variant(4));
  EXPECT_EQ(group->Description(), "Site one");

  auto computer = platform_->GetObject("WinNT://websrv1,computer");
  EXPECT_EQ(computer->Name(), "WEBSRV1");
  EXPECT_EQ(computer->Class(), "Computer");
  EXPECT_TRUE(computer->Supports(DirKind::kContainer));
}

TEST_F(WinNtProviderTest, EnumerationFollowsFilterAndCreationOrder) {
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  auto all = computer->Enumerate();
  EXPECT_EQ(Walk(*all), (std::vector<std::string>{
                            "Administrators=WinNT://WEBSRV1/Administrators:Group",
                            "Users=WinNT://WEBSRV1/Users:Group",
                            "bob=WinNT://WEBSRV1/bob:User",
                            "nopass=WinNT://WEBSRV1/nopass:User",
                            "QZW3SVC1=WinNT://WEBSRV1/QZW3SVC1:Group",
                        }));
  computer->SetFilter({"user"});
  auto users = computer->Enumerate();
  EXPECT_EQ(Walk(*users), (std::vector<std::string>{"bob=WinNT://WEBSRV1/bob:User",
                                                    "nopass=WinNT://WEBSRV1/nopass:User"}));

  auto members = platform_->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Members();
  EXPECT_EQ(Walk(*members), (std::vector<std::string>{"bob=WinNT://WEBSRV1/bob:User",
                                                      "carol=WinNT://OTHER/carol:User"}));

  // A group this connection adds joins the walk of groups; a filter naming neither kind walks
  // nothing.
  computer->Create("group", "QZW3SVC2")->SetInfo();
  computer->SetFilter({"group"});
  EXPECT_EQ(Walk(*computer->Enumerate()),
            (std::vector<std::string>{"Administrators=WinNT://WEBSRV1/Administrators:Group",
                                      "Users=WinNT://WEBSRV1/Users:Group",
                                      "QZW3SVC1=WinNT://WEBSRV1/QZW3SVC1:Group",
                                      "QZW3SVC2=WinNT://WEBSRV1/QZW3SVC2:Group"}));
  computer->SetFilter({"computer"});
  EXPECT_EQ(Walk(*computer->Enumerate()), std::vector<std::string>{});
}

TEST_F(WinNtProviderTest, GroupLifecycleThroughContainerAndGroup) {
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  auto created = computer->Create("group", "QZMULTI1");
  created->Put("groupType", Variant(4));
  created->SetDescription("Both sites");
  created->SetInfo();

  auto group = platform_->GetObject("WinNT://WEBSRV1/QZMULTI1");
  EXPECT_EQ(group->Description(), "Both sites");
  group->Add("WinNT://WEBSRV1/nopass");
  group->Add("WinNT://CORP/dave");
  group->Add("WinNT://ELSEWHERE/x\\y");  // a database not kept here is taken as given
  auto members = group->Members();
  EXPECT_EQ(Walk(*members), (std::vector<std::string>{"nopass=WinNT://WEBSRV1/nopass:User",
                                                      "dave=WinNT://CORP/dave:User",
                                                      "x\\y=WinNT://ELSEWHERE/x\\y:User"}));
  group->Remove("WinNT://websrv1/NOPASS");
  group->Remove("WinNT://elsewhere/X\\Y");
  group->Put("Description", Variant("Renamed"));
  group->SetInfo();
  EXPECT_EQ(platform_->GetObject("WinNT://WEBSRV1/QZMULTI1")->Description(), "Renamed");
  auto rest = group->Members();
  EXPECT_EQ(Walk(*rest), (std::vector<std::string>{"dave=WinNT://CORP/dave:User"}));

  computer->Delete("group", "qzmulti1");
  EXPECT_THROW(platform_->GetObject("WinNT://WEBSRV1/QZMULTI1"), AutomationError);
}

// An enumeration holds no transaction: the caller may change the store while it walks.
TEST_F(WinNtProviderTest, WritesDuringEnumeration) {
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  computer->SetFilter({"group"});
  auto groups = computer->Enumerate();
  int seen = 0;
  while (auto g = groups->Next()) {
    computer->Delete("group", g->Name());
    ++seen;
  }
  EXPECT_EQ(seen, 3);
  auto after = computer->Enumerate();
  EXPECT_EQ(after->Next(), nullptr);
}

// Objects keep what they were bound with, but each bind, enumeration and member walk starts from
// the store as it is: this connection's changes and another connection's alike.
TEST_F(WinNtProviderTest, WalksSeeChangesMadeSinceBind) {
  auto group = platform_->GetObject("WinNT://WEBSRV1/QZW3SVC1");
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  computer->SetFilter({"group"});
  EXPECT_EQ(Walk(*computer->Enumerate()).size(), 3u);

  auto other = MakePlatform(dir_.path());
  auto created = other->GetObject("WinNT://WEBSRV1")->Create("group", "QZW3SVC2");
  created->SetDescription("Site two");
  created->SetInfo();
  other->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://WEBSRV1/nopass");
  EXPECT_EQ(Walk(*computer->Enumerate()).back(), "QZW3SVC2=WinNT://WEBSRV1/QZW3SVC2:Group");
  EXPECT_EQ(Walk(*group->Members()).back(), "nopass=WinNT://WEBSRV1/nopass:User");
  EXPECT_EQ(group->MemberNames().back(), "nopass");

  group->Remove("WinNT://WEBSRV1/bob");
  group->SetDescription("Renamed");
  group->SetInfo();
  EXPECT_EQ(Walk(*group->Members()).size(), 2u);
  EXPECT_EQ(platform_->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Description(), "Renamed");
  EXPECT_EQ(platform_->GetObject("WinNT://WEBSRV1/qzw3svc2")->Description(), "Site two");
  EXPECT_EQ(Walk(*other->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Members()).size(), 2u);
}

// A host call reads one state of the store: another connection's commit shows from the next call
// on, while this call's own changes show at once.
TEST_F(WinNtProviderTest, ACallSeesOthersCommitsFromTheNextCallOn) {
  auto other = MakePlatform(dir_.path());
  auto members = [&] { return Walk(*platform_->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Members()); };
  platform_->BeginCall();
  ASSERT_EQ(members().size(), 2u);
  other->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://CORP/dave");
  platform_->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://WEBSRV1/nopass");
  EXPECT_EQ(members().back(), "nopass=WinNT://WEBSRV1/nopass:User");
  EXPECT_EQ(members().size(), 3u);
  platform_->EndCall();
  platform_->BeginCall();
  EXPECT_EQ(members(), (std::vector<std::string>{
                           "bob=WinNT://WEBSRV1/bob:User", "carol=WinNT://OTHER/carol:User",
                           "dave=WinNT://CORP/dave:User", "nopass=WinNT://WEBSRV1/nopass:User"}));
  platform_->EndCall();
}

TEST_F(WinNtProviderTest, SignInRefusalsAreIndistinguishable) {
  auto ns = platform_->GetObject("WinNT:");
  auto container = ns->OpenDSObject("WinNT://WEBSRV1,computer", "WEBSRV1\\bob", "pw-bob", 1);
  EXPECT_EQ(container->Name(), "WEBSRV1");
  EXPECT_NO_THROW(ns->OpenDSObject("WinNT://WEBSRV1,computer", "websrv1\\BOB", "pw-bob", 1));

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"WEBSRV1\\bob", "PW-BOB"}, {"WEBSRV1\\bob", ""},
      {"WEBSRV1\\nopass", ""},    {"WEBSRV1\\nopass", "x"},
      {"WEBSRV1\\zed", "pw-bob"}, {"WEBSRV1\\DOM\\bob", "pw-bob"},
      {"CORP\\bob", "pw-bob"},    {"WEBSRV1\\QZW3SVC1", "pw-bob"},
  };
  for (const auto& [user, password] : refused) {
    EXPECT_THAT(ErrorOf([&] { ns->OpenDSObject("WinNT://WEBSRV1,computer", user, password, 1); }),
                AutomationErrorIs(errors::kErrorLogonFailure))
        << user;
  }
  EXPECT_THAT(ErrorOf([&] { ns->OpenDSObject("WinNT://NOPE,computer", "NOPE\\bob", "pw-bob", 1); }),
              ErrorNumberIs(errors::kErrorBadNetpath));
}

}  // namespace
}  // namespace brindlecore::platform
