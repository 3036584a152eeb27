// The account store against real SQLite files, and the WinNT provider as the component's methods
// use it, bound through the real platform over a temporary root.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/default_platform.h"
#include "platform/directory/winnt/account_store.h"
#include "platform/directory/winnt/password_hash.h"
#include "support/fault_platform.h"
#include "support/matchers.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::platform::winnt {
namespace {

using testing::AccountsFixture;
using testing::AutomationErrorIs;
using testing::ErrorNumberIs;
using testing::ErrorOf;
using testing::TempDir;

// Straight through SQLite, so the check does not depend on the layer it checks: "ok" when the
// file is sound and no foreign key dangles.
std::string IntegrityCheck(const std::filesystem::path& root) {
  sqlite3* db = nullptr;
  std::string result;
  sqlite3_open_v2(AccountStore::FileIn(root).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  auto append = +[](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) += values[0] ? values[0] : "NULL";
    return 0;
  };
  sqlite3_exec(db, "PRAGMA integrity_check; PRAGMA foreign_key_check", append, &result, nullptr);
  sqlite3_close(db);
  return result;
}

TEST(AccountStoreTest, DatabasesAndNames) {
  TempDir dir;
  AccountStore reader(dir.path(), false);
  EXPECT_TRUE(reader.ListDatabases().empty());
  EXPECT_THROW(reader.Read("A"), AutomationError);
  EXPECT_FALSE(std::filesystem::exists(AccountStore::FileIn(dir.path())));

  AccountStore store(dir.path(), true);
  ASSERT_TRUE(store.CreateDatabase("WEB"));
  ASSERT_TRUE(store.CreateDatabase("CORP"));
  EXPECT_EQ(store.ListDatabases(), (std::vector<std::string>{"WEB", "CORP"}));
  for (const char* bad : {"", "a/b", "a\\b", "a,b", "a\tb"}) {
    EXPECT_THAT(ErrorOf([&] { store.AddGroup("WEB", bad, ""); }),
                ErrorNumberIs(errors::kErrorInvalidName))
        << bad;
  }
  EXPECT_NO_THROW(store.AddGroup("WEB", " spaced ", ""));  // spaces are part of a name
  EXPECT_THAT(ErrorOf([&] { store.SetPassword("WEB", "nobody", "pw", 1); }),
              ErrorNumberIs(errors::kNerrUsernotfound));

  // A hash of the empty password, which only a hand-edited file holds, still lets no empty
  // password in.
  store.AddUser("WEB", "blank", "", "", "pw", 1);
  sqlite3* db = nullptr;
  sqlite3_open(AccountStore::FileIn(dir.path()).c_str(), &db);
  std::string sql = std::string("UPDATE accounts SET password_hash = '")
                        .append(HashPassword("", 1))
                        .append("' WHERE name = 'blank'");
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  EXPECT_FALSE(store.CheckPassword("WEB", "blank", ""));
}

// Deleting an account, or a whole database, takes its memberships elsewhere with it.
TEST(AccountStoreTest, DeletesCascadeToMemberships) {
  TempDir dir;
  AccountsFixture accounts(dir.path());
  accounts.Computer("WEB")
      .Computer("CORP")
      .User("CORP", "dave")
      .User("CORP", "erin")
      .User("WEB", "bob")
      .Group("WEB", "G")
      .Member("WEB", "G", "CORP/dave")
      .Member("WEB", "G", "bob")
      .Member("WEB", "G", "CORP/erin")
      .Member("WEB", "G", "FAR/x");
  AccountStore store(dir.path(), true);
  store.DeleteAccount("WEB", AccountKind::kUser, "BOB");
  EXPECT_EQ(accounts.Members("WEB", "G"), "dave,erin,x");
  store.DeleteDatabase("corp");
  EXPECT_EQ(accounts.Members("WEB", "G"), "x");
  EXPECT_EQ(IntegrityCheck(dir.path()), "ok");
}

// A cached snapshot must not outlive a change made through another connection, whether this
// connection has only read since (repeated reads take the cheap check) or has written too (its
// own change is patched into the cache, which must not keep the other's out).
TEST(AccountStoreTest, CachedReadSeesOtherConnectionsChanges) {
  TempDir dir;
  AccountStore reader(dir.path(), true), writer(dir.path(), true);
  writer.CreateDatabase("A");
  auto before = reader.Read("A");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reader.Read("a"), before);  // unchanged: same snapshot
  writer.AddGroup("A", "QZW3SVC1", "x");
  auto after = reader.Read("A");
  EXPECT_NE(after, before);
  ASSERT_NE(after->Find("qzw3svc1"), nullptr);
  EXPECT_EQ(before->Find("QZW3SVC1"), nullptr);  // an old snapshot stays as it was

  writer.AddUser("A", "bob", "", "", "");
  reader.AddMember("A", "QZW3SVC1", "WinNT://a/BOB");
  auto both = reader.Read("A");
  ASSERT_NE(both->Find("bob"), nullptr);
  ASSERT_EQ(both->Find("QZW3SVC1")->members.size(), 1u);
  EXPECT_EQ(both->Find("QZW3SVC1")->members[0].Path(both->name), "WinNT://A/bob");
  EXPECT_EQ(writer.Read("A")->Find("QZW3SVC1")->members.size(), 1u);
}

// A batch's changes reach another connection only at its commit, a refused change inside it undoes
// only its own, and a batch ended without a commit keeps nothing, in the file or in the cache.
TEST(AccountStoreTest, BatchKeepsAllItsChangesAtItsCommitOrNone) {
  TempDir dir;
  AccountStore store(dir.path(), true), other(dir.path(), true);
  store.CreateDatabase("A");
  const auto names = [](AccountStore& s) {
    std::string out;
    for (const AccountEntry& e : s.Read("A")->accounts) out += e.name + ",";
    return out;
  };
  const std::string built_in = "Administrators,Users,";
  EXPECT_EQ(names(other), built_in);
  {
    AccountStore::Batch batch(store);
    store.AddUser("A", "ann", "", "", "");
    EXPECT_THAT(ErrorOf([&] { store.AddUser("A", "ANN", "", "", ""); }),
                ErrorNumberIs(errors::kNerrUserexists));
    store.AddGroup("A", "G", "");
    store.AddMember("A", "G", "WinNT://A/ann");
    EXPECT_EQ(names(other), built_in);
    batch.Commit();
  }
  EXPECT_EQ(names(other), built_in + "ann,G,");
  EXPECT_EQ(other.Read("A")->Find("G")->members.size(), 1u);
  {
    AccountStore::Batch batch(store);
    store.AddUser("A", "bob", "", "", "");
    EXPECT_EQ(names(store), built_in + "ann,G,bob,");
  }
  EXPECT_EQ(names(store), built_in + "ann,G,");
  EXPECT_EQ(names(other), built_in + "ann,G,");
  EXPECT_EQ(IntegrityCheck(dir.path()), "ok");
}

TEST(AccountStoreTest, ConcurrentProcessesAddingMembersAllSucceed) {
  TempDir dir;
  constexpr int kUsers = 80;
  AccountsFixture(dir.path()).Computer("A").Group("A", "G");
  {
    AccountStore store(dir.path(), true);
    for (int i = 0; i < kUsers; ++i)
      store.AddUser("A", std::string("u").append(std::to_string(i)), "", "", "");
  }
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      int failures = 0;
      AccountStore store(dir.path(), true);
      for (int i = p; i < kUsers; i += 2) {
        failures += ErrorOf([&] {
                      store.AddMember("A", "G", "WinNT://A/u" + std::to_string(i));
                    }).has_value();
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(AccountStore(dir.path(), false).Read("A")->Find("G")->members.size(), size_t{kUsers});
  EXPECT_EQ(IntegrityCheck(dir.path()), "ok");
}

// Fail each step of creating and filling a group in turn, as a method would meet it: whatever
// step fails, the store is intact and holds only whole steps.
TEST(AccountStoreTest, FailedStepsLeaveStoreIntact) {
  TempDir dir;
  AccountsFixture check(dir.path());
  check.Computer("A").User("A", "bob");
  auto real = MakePlatform(dir.path());
  for (const char* step : {"GetObject", "Create", "Put", "SetDescription", "SetInfo", "Add"}) {
    for (int nth = 1;; ++nth) {
      testing::FaultPlatform faults(*real);
      faults.Fail(step, "", nth, errors::kEFail.Make());
      std::string name = std::string(step).append(std::to_string(nth));
      auto error = ErrorOf([&] {
        auto group = faults.GetObject("WinNT://A")->Create("group", name);
        group->Put("groupType", Variant(4));
        group->SetDescription("d");
        group->SetInfo();
        auto bound = faults.GetObject("WinNT://A/" + name);
        bound->SetDescription("d2");
        bound->SetInfo();
        bound->Add("WinNT://A/bob");
      });
      EXPECT_THAT(error, ErrorNumberIs(faults.AllFired() ? errors::kEFail.number : 0));
      std::string members = check.Members("A", name);
      std::string description = check.GroupDescription("A", name);
      EXPECT_TRUE(!check.HasGroup("A", name) || description == "d" || description == "d2") << name;
      EXPECT_TRUE(members.empty() || (members == "bob" && description == "d2")) << name;
      EXPECT_EQ(IntegrityCheck(dir.path()), "ok") << name;
      if (!faults.AllFired()) break;
    }
  }
}

class WinNtProviderTest : public ::testing::Test {
 protected:
  WinNtProviderTest() {
    AccountsFixture(dir_.path())
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

  static std::vector<std::string> Walk(DirEnumerator& e) {
    std::vector<std::string> out;
    while (auto o = e.Next()) out.push_back(o->Name() + "=" + o->ADsPath() + ":" + o->Class());
    return out;
  }
  // The names alone, joined with ",".
  static std::string Names(DirEnumerator& e) {
    std::string out;
    while (auto o = e.Next()) out.append(out.empty() ? "" : ",").append(o->Name());
    return out;
  }
  std::unique_ptr<DirObject> Site1() { return platform_->GetObject("WinNT://WEBSRV1/QZW3SVC1"); }

  TempDir dir_;
  std::unique_ptr<Platform> platform_;
};

// Every refusal the component's methods rely on, with its exact number and text.
TEST_F(WinNtProviderTest, Refusals) {
  const std::pair<const char*, errors::ErrorCode> binds[] = {
      {"WinNT://WEBSRV1/bob,group", errors::kNerrGroupnotfound},
      {"WinNT://WEBSRV1/zed,user", errors::kNerrUsernotfound},
      {"WinNT://WEBSRV1,printer", errors::kEAdsBadPathname},
      {"WinNT://", errors::kEAdsBadPathname},
      {"WinNT://A/B/C", errors::kEAdsBadPathname},
      {"winnt://WEBSRV1", errors::kEAdsBadPathname},
  };
  for (const auto& [path, expected] : binds) {
    EXPECT_THAT(ErrorOf([&] { platform_->GetObject(path); }), AutomationErrorIs(expected)) << path;
  }
  // Additions (+) and removals (-) of members of QZW3SVC1.
  const std::pair<std::string, errors::ErrorCode> changes[] = {
      {"+WinNT://WEBSRV1/zed", errors::kErrorNoSuchMember},
      {"+WinNT://CORP/zed", errors::kErrorNoSuchMember},
      {"+WinNT://websrv1/BOB", errors::kErrorMemberInAlias},
      {"+WinNT://other/CAROL", errors::kErrorMemberInAlias},
      {"+WinNT://WEBSRV1", errors::kEAdsBadPathname},
      {"-bob", errors::kErrorMemberNotInAlias},
      {"-WinNT://WEBSRV2/bob", errors::kErrorMemberNotInAlias},  // WEBSRV1/bob is the member
  };
  for (const auto& [change, expected] : changes) {
    auto call = [&] {
      if (change[0] == '+') Site1()->Add(change.substr(1));
      if (change[0] == '-') Site1()->Remove(change.substr(1));
    };
    EXPECT_THAT(ErrorOf(call), AutomationErrorIs(expected)) << change;
  }
  auto computer = platform_->GetObject("WinNT://WEBSRV1,computer");
  EXPECT_THAT(ErrorOf([&] {
                auto g = computer->Create("group", "qzw3svc1");
                g->Put("groupType", Variant(4));
                g->SetInfo();
              }),
              AutomationErrorIs(errors::kErrorAliasExists));
  EXPECT_THAT(ErrorOf([&] { computer->Delete("group", "QZW3SVC9"); }),
              AutomationErrorIs(errors::kNerrGroupnotfound));
  EXPECT_THAT(ErrorOf([&] { platform_->GetObject("WinNT://WEBSRV1/bob")->Get("groupType"); }),
              AutomationErrorIs(errors::kEAdsPropertyNotFound));
  // A group deleted since it was bound.
  auto group = Site1();
  computer->Delete("group", "QZW3SVC1");
  EXPECT_THAT(ErrorOf([&] { group->Add("WinNT://WEBSRV1/nopass"); }),
              AutomationErrorIs(errors::kNerrGroupnotfound));
}

// Bound in any letter case, an object names itself as stored.
TEST_F(WinNtProviderTest, ObjectsReportStoredCase) {
  auto user = platform_->GetObject("WinNT://websrv1/BOB,user");
  EXPECT_EQ(user->Name() + " " + user->ADsPath(), "bob WinNT://WEBSRV1/bob");
  EXPECT_TRUE(user->Supports(DirKind::kUser));
  EXPECT_FALSE(user->Supports(DirKind::kGroup));
  auto group = platform_->GetObject("WinNT://WEBSRV1/qzw3svc1");
  EXPECT_EQ(group->Name(), "QZW3SVC1");
  EXPECT_EQ(group->Get("groupType"), Variant(4));
  auto computer = platform_->GetObject("WinNT://websrv1,computer");
  EXPECT_EQ(computer->Name() + " " + computer->Class(), "WEBSRV1 Computer");
  EXPECT_TRUE(computer->Supports(DirKind::kContainer));
}

TEST_F(WinNtProviderTest, EnumerationFollowsFilterAndCreationOrder) {
  const std::string admins = "Administrators=WinNT://WEBSRV1/Administrators:Group",
                    users = "Users=WinNT://WEBSRV1/Users:Group",
                    bob = "bob=WinNT://WEBSRV1/bob:User",
                    nopass = "nopass=WinNT://WEBSRV1/nopass:User",
                    site1 = "QZW3SVC1=WinNT://WEBSRV1/QZW3SVC1:Group";
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  EXPECT_EQ(Walk(*computer->Enumerate()),
            (std::vector<std::string>{admins, users, bob, nopass, site1}));

  // A group this connection adds joins the walk of groups; a filter naming neither kind walks
  // nothing.
  computer->Create("group", "QZW3SVC2")->SetInfo();
  computer->SetFilter({"group"});
  EXPECT_EQ(
      Walk(*computer->Enumerate()),
      (std::vector<std::string>{admins, users, site1, "QZW3SVC2=WinNT://WEBSRV1/QZW3SVC2:Group"}));
  computer->SetFilter({"computer"});
  EXPECT_EQ(Walk(*computer->Enumerate()), std::vector<std::string>{});
}

TEST_F(WinNtProviderTest, GroupLifecycleThroughContainerAndGroup) {
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  computer->Create("group", "QZMULTI1")->SetInfo();
  auto group = platform_->GetObject("WinNT://WEBSRV1/QZMULTI1");
  group->Add("WinNT://websrv1/NOPASS");
  group->Add("WinNT://CORP/dave");
  group->Add("WinNT://ELSEWHERE/x\\y");  // a database not kept here is taken as given
  group->Add("WinNT://WEBSRV1/Users");   // a group may hold a group, which is no user
  group->Add("WinNT://CORP/Users");
  EXPECT_EQ(Walk(*group->Members()),
            (std::vector<std::string>{
                "nopass=WinNT://WEBSRV1/nopass:User", "dave=WinNT://CORP/dave:User",
                "x\\y=WinNT://ELSEWHERE/x\\y:User", "Users=WinNT://WEBSRV1/Users:Group",
                "Users=WinNT://CORP/Users:Group"}));
  // Read afresh from the file, the members are those the changes left in the cached copy.
  EXPECT_EQ(Walk(*MakePlatform(dir_.path())->GetObject("WinNT://WEBSRV1/QZMULTI1")->Members()),
            Walk(*group->Members()));
  auto members = group->Members();
  while (auto m = members->Next()) {
    EXPECT_EQ(m->Supports(DirKind::kUser), m->Class() == "User") << m->Name();
    EXPECT_EQ(m->Supports(DirKind::kGroup), m->Class() == "Group") << m->Name();
  }
  // Counted by the exact name: neither letter case nor names alike but for their middle bytes.
  group->Add("WinNT://ELSEWHERE/abcdefgh-1-ijklmnop");
  EXPECT_EQ(group->CountMembersNamed("abcdefgh-1-ijklmnop"), 1u);
  EXPECT_EQ(group->CountMembersNamed("abcdefgh-2-ijklmnop"), 0u);
  EXPECT_EQ(group->CountMembersNamed("DAVE"), 0u);
  for (const char* gone :
       {"WinNT://websrv1/NOPASS", "WinNT://elsewhere/X\\Y", "WinNT://WEBSRV1/users",
        "WinNT://CORP/users", "WinNT://ELSEWHERE/abcdefgh-1-ijklmnop"})
    group->Remove(gone);
  EXPECT_EQ(Walk(*MakePlatform(dir_.path())->GetObject("WinNT://WEBSRV1/QZMULTI1")->Members()),
            Walk(*group->Members()));
  EXPECT_EQ(group->CountMembersNamed("dave"), 1u);
  EXPECT_EQ(group->CountMembersNamed("nopass"), 0u);
  group->Put("Description", Variant("Renamed"));
  group->SetInfo();
  EXPECT_EQ(platform_->GetObject("WinNT://WEBSRV1/QZMULTI1")->Description(), "Renamed");
  EXPECT_EQ(Walk(*group->Members()), (std::vector<std::string>{"dave=WinNT://CORP/dave:User"}));

  computer->Delete("group", "qzmulti1");
  EXPECT_THROW(platform_->GetObject("WinNT://WEBSRV1/QZMULTI1"), AutomationError);
}

// An enumeration holds no transaction: the caller may change the store while it walks.
TEST_F(WinNtProviderTest, WritesDuringEnumeration) {
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  computer->SetFilter({"group"});
  auto groups = computer->Enumerate();
  int seen = 0;
  for (; auto g = groups->Next(); ++seen) computer->Delete("group", g->Name());
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(computer->Enumerate()->Next(), nullptr);
}

// Objects keep what they were bound with, but each bind, enumeration and member walk starts from
// the store as it is: this connection's changes and another connection's alike.
TEST_F(WinNtProviderTest, WalksSeeChangesMadeSinceBind) {
  auto group = Site1();
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  computer->SetFilter({"group"});
  EXPECT_EQ(Names(*computer->Enumerate()), "Administrators,Users,QZW3SVC1");

  auto other = MakePlatform(dir_.path());
  auto created = other->GetObject("WinNT://WEBSRV1")->Create("group", "QZW3SVC2");
  created->SetDescription("Site two");
  created->SetInfo();
  other->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Add("WinNT://WEBSRV1/nopass");
  EXPECT_EQ(Names(*computer->Enumerate()), "Administrators,Users,QZW3SVC1,QZW3SVC2");
  EXPECT_EQ(Names(*group->Members()), "bob,carol,nopass");
  EXPECT_EQ(group->MemberNames().back(), "nopass");
  EXPECT_EQ(group->CountMembersNamed("nopass"), 1u);

  group->Remove("WinNT://WEBSRV1/bob");
  group->SetDescription("Renamed");
  group->SetInfo();
  EXPECT_EQ(Names(*group->Members()), "carol,nopass");
  EXPECT_EQ(Site1()->Description(), "Renamed");
  EXPECT_EQ(platform_->GetObject("WinNT://WEBSRV1/qzw3svc2")->Description(), "Site two");
  EXPECT_EQ(Names(*other->GetObject("WinNT://WEBSRV1/QZW3SVC1")->Members()), "carol,nopass");
}

// A host call reads one state of the store: another connection's commit shows from the next call
// on, while this call's own changes show at once.
TEST_F(WinNtProviderTest, ACallSeesOthersCommitsFromTheNextCallOn) {
  auto other = MakePlatform(dir_.path());
  platform_->BeginCall();
  ASSERT_EQ(Names(*Site1()->Members()), "bob,carol");
  auto others = other->GetObject("WinNT://WEBSRV1/QZW3SVC1");
  others->Add("WinNT://CORP/dave");
  others->Remove("WinNT://WEBSRV1/bob");
  Site1()->Add("WinNT://WEBSRV1/nopass");
  // What a change finds is the file's, not the call's view.
  EXPECT_THAT(ErrorOf([&] { Site1()->Remove("WinNT://WEBSRV1/bob"); }),
              AutomationErrorIs(errors::kErrorMemberNotInAlias));
  EXPECT_EQ(Names(*Site1()->Members()), "bob,carol,nopass");
  platform_->EndCall();
  platform_->BeginCall();
  EXPECT_EQ(Names(*Site1()->Members()), "carol,dave,nopass");
  platform_->EndCall();
}

// The overview's walk of the groups for one member name, in a call and outside one: a change
// made after the enumeration shows, and only the groups asked about are counted.
TEST_F(WinNtProviderTest, CountsOfOneMemberNameAcrossTheGroups) {
  struct Counts : MemberCountVisitor {
    bool Asks(std::string_view group) override { return group != "Users"; }
    void Found(std::string_view group, size_t count) override {
      text.append(group).append("=").append(std::to_string(count)).append(",");
    }
    std::string text;
  };
  const auto counts = [](DirEnumerator& groups, const char* member) {
    Counts visitor;
    groups.CountMembersNamedEach(member, visitor);
    return visitor.text;
  };
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  computer->SetFilter({"group"});
  platform_->GetObject("WinNT://WEBSRV1/Users")->Add("WinNT://WEBSRV1/bob");
  Site1()->Add("WinNT://WEBSRV1/nopass");
  for (bool in_call : {true, false}) {
    SCOPED_TRACE(in_call);
    if (in_call) platform_->BeginCall();
    EXPECT_EQ(counts(*computer->Enumerate(), "bob"), "QZW3SVC1=1,");
    EXPECT_EQ(counts(*computer->Enumerate(), "nopass"), "QZW3SVC1=1,");
    EXPECT_EQ(counts(*computer->Enumerate(), "BOB"), "");
    auto groups = computer->Enumerate();
    Site1()->Add("WinNT://ELSEWHERE/bob");
    EXPECT_EQ(counts(*groups, "bob"), "QZW3SVC1=2,");
    Site1()->Remove("WinNT://ELSEWHERE/bob");
    if (in_call) platform_->EndCall();
  }
}

// The walk passes groups 64 at a time: matches on both sides of a block's edge, a walk resumed
// inside a block, and groups changed within the call all count as they stand.
TEST_F(WinNtProviderTest, CountsOfOneMemberNameAcrossManyGroups) {
  struct Counts : MemberCountVisitor {
    bool Asks(std::string_view) override { return true; }
    void Found(std::string_view group, size_t count) override {
      text.append(group).append("=").append(std::to_string(count)).append(",");
    }
    std::string text;
  };
  auto computer = platform_->GetObject("WinNT://WEBSRV1");
  // After Administrators, Users and QZW3SVC1, G60 is the 64th group and G61 the 65th.
  for (int g = 0; g < 70; ++g)
    computer->Create("group", std::string("G").append(std::to_string(g)))->SetInfo();
  for (const char* g : {"G60", "G61", "G69"}) {
    platform_->GetObject(std::string("WinNT://WEBSRV1/") + g)->Add("WinNT://WEBSRV1/bob");
  }
  computer->SetFilter({"group"});
  platform_->BeginCall();
  const auto counts = [&](size_t skip) {
    auto groups = computer->Enumerate();
    for (; skip > 0; --skip) groups->Next();
    Counts visitor;
    groups->CountMembersNamedEach("bob", visitor);
    return visitor.text;
  };
  EXPECT_EQ(counts(0), "QZW3SVC1=1,G60=1,G61=1,G69=1,");
  EXPECT_EQ(counts(63), "G60=1,G61=1,G69=1,");
  EXPECT_EQ(counts(64), "G61=1,G69=1,");
  EXPECT_EQ(counts(73), "");
  platform_->GetObject("WinNT://WEBSRV1/G61")->Remove("WinNT://WEBSRV1/bob");
  platform_->GetObject("WinNT://WEBSRV1/G62")->Add("WinNT://WEBSRV1/bob");
  EXPECT_EQ(counts(0), "QZW3SVC1=1,G60=1,G62=1,G69=1,");
  platform_->EndCall();
}

TEST_F(WinNtProviderTest, SignInRefusalsAreIndistinguishable) {
  auto ns = platform_->GetObject("WinNT:");
  const std::pair<std::string, std::string> refused[] = {
      {"WEBSRV1\\bob", "PW-BOB"},      {"WEBSRV1\\bob", ""},       {"WEBSRV1\\nopass", ""},
      {"WEBSRV1\\nopass", "x"},        {"WEBSRV1\\zed", "pw-bob"}, {"CORP\\bob", "pw-bob"},
      {"WEBSRV1\\QZW3SVC1", "pw-bob"},
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
}  // namespace brindlecore::platform::winnt
