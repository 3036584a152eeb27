// The account store against real SQLite files: transactions, concurrency, cached reads.
#include "platform/directory/winnt/account_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/default_platform.h"
#include "support/fault_platform.h"
#include "support/matchers.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::platform::winnt {
namespace {

using testing::ErrorNumberIs;
using testing::ErrorOf;

// Straight through SQLite, so the check does not depend on the layer it checks.
std::string IntegrityCheck(const std::filesystem::path& root) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(AccountStore::FileIn(root).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
      SQLITE_OK) {
    auto first_row = [db](const char* sql) {
      sqlite3_stmt* stmt = nullptr;
      std::string text = "<none>";
      sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
      if (sqlite3_step(stmt) == SQLITE_ROW) {
        text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      }
      sqlite3_finalize(stmt);
      return text;
    };
    result = first_row("PRAGMA integrity_check");
    if (first_row("PRAGMA foreign_key_check") != "<none>") result += " foreign key violation";
  }
  sqlite3_close(db);
  return result;
}

TEST(AccountStoreTest, FileIsPrivate) {
  testing::TempDir dir;
  AccountStore(dir.path(), true).CreateDatabase("A");
  struct stat st {};
  ASSERT_EQ(::stat(AccountStore::FileIn(dir.path()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AccountStoreTest, ReadOnlyStoreWithoutFileHasNoDatabase) {
  testing::TempDir dir;
  AccountStore store(dir.path(), false);
  EXPECT_TRUE(store.ListDatabases().empty());
  EXPECT_THROW(store.Read("A"), AutomationError);
  EXPECT_FALSE(std::filesystem::exists(AccountStore::FileIn(dir.path())));
}

TEST(AccountStoreTest, RefusesNamesThatCannotBePathSegments) {
  testing::TempDir dir;
  AccountStore store(dir.path(), true);
  ASSERT_TRUE(store.CreateDatabase("A"));
  for (const char* bad : {"", "a/b", "a\\b", "a,b", "a\tb"}) {
    EXPECT_THAT(ErrorOf([&] { store.AddGroup("A", bad, ""); }),
                ErrorNumberIs(errors::kErrorInvalidName))
        << bad;
  }
  EXPECT_NO_THROW(store.AddGroup("A", " spaced ", ""));  // spaces are part of a name
}

// Deleting an account, or a whole database, takes its memberships elsewhere with it.
TEST(AccountStoreTest, DeletesCascadeToMemberships) {
  testing::TempDir dir;
  testing::AccountsFixture(dir.path())
      .Computer("WEB")
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
  EXPECT_EQ(testing::AccountsFixture(dir.path()).Members("WEB", "G"), "dave,erin,x");
  store.DeleteDatabase("corp");
  EXPECT_EQ(testing::AccountsFixture(dir.path()).Members("WEB", "G"), "x");
  EXPECT_EQ(IntegrityCheck(dir.path()), "ok");
}

// A cached snapshot must not outlive a change made through another connection, whether this
// connection has only read since (repeated reads take the cheap check) or has written too (its
// own change is patched into the cache, which must not keep the other's out).
TEST(AccountStoreTest, CachedReadSeesOtherConnectionsChanges) {
  testing::TempDir dir;
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
  EXPECT_EQ(both->Find("QZW3SVC1")->members[0].path, "WinNT://A/bob");
  EXPECT_EQ(writer.Read("A")->Find("QZW3SVC1")->members.size(), 1u);
}

TEST(AccountStoreTest, ConcurrentProcessesAddingMembersAllSucceed) {
  testing::TempDir dir;
  constexpr int kPerProcess = 40;
  {
    AccountStore store(dir.path(), true);
    store.CreateDatabase("A");
    store.AddGroup("A", "G", "");
    for (int i = 0; i < 2 * kPerProcess; ++i)
      store.AddUser("A", std::string("u").append(std::to_string(i)), "", "", "");
  }
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      int failures = 0;
      AccountStore store(dir.path(), true);
      for (int i = p; i < 2 * kPerProcess; i += 2) {
        try {
          store.AddMember("A", "G", "WinNT://A/u" + std::to_string(i));
        } catch (const AutomationError&) {
          ++failures;
        }
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
  AccountStore store(dir.path(), false);
  EXPECT_EQ(store.Read("A")->Find("G")->members.size(), 2u * kPerProcess);
  EXPECT_EQ(IntegrityCheck(dir.path()), "ok");
}

// Fail each step of creating and filling a group in turn, as a method would meet it: whatever
// step fails, the store is intact and holds only whole steps.
TEST(AccountStoreTest, FailedStepsLeaveStoreIntact) {
  testing::TempDir dir;
  testing::AccountsFixture(dir.path()).Computer("A").User("A", "bob");
  auto real = MakePlatform(dir.path());
  const std::vector<std::string> steps = {"GetObject",      "Create",  "Put",
                                          "SetDescription", "SetInfo", "Add"};
  for (const std::string& step : steps) {
    for (int nth = 1;; ++nth) {
      testing::FaultPlatform faults(*real);
      faults.Fail(step, "", nth, errors::kEFail.Make());
      std::string name = "G" + step + std::to_string(nth);
      try {
        auto container = faults.GetObject("WinNT://A");
        auto group = container->Create("group", name);
        group->Put("groupType", Variant(4));
        group->SetDescription("d");
        group->SetInfo();
        auto bound = faults.GetObject("WinNT://A/" + name);
        bound->SetDescription("d2");
        bound->SetInfo();
        bound->Add("WinNT://A/bob");
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.number, errors::kEFail.number);
      }
      testing::AccountsFixture check(dir.path());
      std::string members = check.Members("A", name);
      std::string description = check.GroupDescription("A", name);
      EXPECT_TRUE(!check.HasGroup("A", name) || description == "d" || description == "d2")
          << step << nth;
      EXPECT_TRUE(members.empty() || (members == "bob" && description == "d2")) << step << nth;
      EXPECT_EQ(IntegrityCheck(dir.path()), "ok") << step << nth;
      if (!faults.AllFired()) break;
    }
  }
}

}  // namespace
}  // namespace brindlecore::platform::winnt
