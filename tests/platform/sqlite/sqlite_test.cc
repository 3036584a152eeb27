#include "platform/sqlite/sqlite.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <stdexcept>
#include <string_view>

#include "platform/automation/errors.h"
#include "support/matchers.h"
#include "support/temp_dir.h"

namespace brindlecore::platform::sqlite {
namespace {

constexpr std::array<std::string_view, 2> kSchema = {
    "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);",
    "ALTER TABLE t ADD COLUMN note TEXT;",
};

TEST(SqliteTest, OpenCreatesPrivateFileInWalModeAtLatestVersion) {
  testing::TempDir dir;
  auto path = dir.path() / "a.db";
  Database db = Database::Open(path, true, kSchema);
  EXPECT_EQ(db.UserVersion(), 2);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  Statement mode = db.Prepare("PRAGMA journal_mode");
  ASSERT_TRUE(mode.Step());
  EXPECT_EQ(mode.Text(0), "wal");
  Statement fk = db.Prepare("PRAGMA foreign_keys");
  ASSERT_TRUE(fk.Step());
  EXPECT_EQ(fk.Int(0), 1);
}

TEST(SqliteTest, MigratesForwardOnlyThePendingSteps) {
  testing::TempDir dir;
  auto path = dir.path() / "a.db";
  {
    Database db = Database::Open(path, true, std::span(kSchema).first(1));
    db.Prepare("INSERT INTO t(name) VALUES (?)").BindAll("kept").Run();
  }
  Database db = Database::Open(path, false, kSchema);
  EXPECT_EQ(db.UserVersion(), 2);
  Statement s = db.Prepare("SELECT name, note FROM t");
  ASSERT_TRUE(s.Step());
  EXPECT_EQ(s.Text(0), "kept");
  EXPECT_TRUE(s.IsNull(1));
}

TEST(SqliteTest, RefusesNewerSchemaAndMissingFile) {
  testing::TempDir dir;
  auto path = dir.path() / "a.db";
  { Database::Open(path, true, kSchema); }
  EXPECT_THROW(Database::Open(path, false, std::span(kSchema).first(1)), SqliteError);
  EXPECT_THAT(testing::ErrorOf([&] { Database::Open(dir.path() / "missing.db", false, kSchema); }),
              testing::ErrorNumberIs(errors::kErrorPathNotFound));
}

TEST(SqliteTest, TransactionRollsBackUnlessCommitted) {
  testing::TempDir dir;
  Database db = Database::Open(dir.path() / "a.db", true, kSchema);
  {
    Transaction tx(db);
    db.Prepare("INSERT INTO t(name) VALUES (?)").BindAll("gone").Run();
  }
  {
    Transaction tx(db);
    db.Prepare("INSERT INTO t(name) VALUES (?)").BindAll("stays").Run();
    tx.Commit();
  }
  Statement s = db.Prepare("SELECT group_concat(name) FROM t");
  ASSERT_TRUE(s.Step());
  EXPECT_EQ(s.Text(0), "stays");
}

TEST(SqliteTest, ConstraintFailureIsCatalogueErrorWithSqliteCode) {
  testing::TempDir dir;
  Database db = Database::Open(dir.path() / "a.db", true, kSchema);
  Statement insert = db.Prepare("INSERT INTO t(name) VALUES (?)");
  insert.BindAll("x").Run();
  insert.Reset();
  try {
    insert.BindAll("x").Run();
    FAIL();
  } catch (const SqliteError& e) {
    EXPECT_TRUE(e.IsConstraint());
    EXPECT_EQ(e.number, errors::kEFail.number);
    EXPECT_EQ(e.description, "Unspecified error");
  }
}

TEST(SqliteTest, CachedStatementComesBackResetAndUnboundEvenAfterAnException) {
  testing::TempDir dir;
  Database db = Database::Open(dir.path() / "a.db", true, kSchema);
  db.Exec("INSERT INTO t(name) VALUES ('a'), ('b');");
  constexpr std::string_view kWalk = "SELECT name, ?1 FROM t ORDER BY id";
  try {
    Statement lent = db.Cached(kWalk);
    ASSERT_TRUE(lent.Bind(1, "x").Step());
    Statement nested = db.Cached(kWalk);  // must not be the one midway
    ASSERT_TRUE(nested.Step());
    EXPECT_EQ(nested.Text(0), "a");
    EXPECT_TRUE(nested.IsNull(1));
    throw std::runtime_error("leave midway");
  } catch (const std::runtime_error&) {
  }
  Statement again = db.Cached(kWalk);
  ASSERT_TRUE(again.Step());
  EXPECT_EQ(again.Text(0), "a");
  EXPECT_TRUE(again.IsNull(1));
}

TEST(SqliteTest, DataVersionMovesOnlyForOtherConnectionsCommits) {
  testing::TempDir dir;
  auto path = dir.path() / "a.db";
  Database a = Database::Open(path, true, kSchema);
  Database b = Database::Open(path, false, kSchema);
  int64_t before = a.DataVersion();
  a.Prepare("INSERT INTO t(name) VALUES ('own')").Run();
  EXPECT_EQ(a.DataVersion(), before);
  b.Prepare("INSERT INTO t(name) VALUES ('other')").Run();
  EXPECT_NE(a.DataVersion(), before);
}

// Reads inside one read transaction see one state of the file; after it the next commit shows,
// and the connection can write again.
TEST(SqliteTest, ReadTransactionHoldsOneStateUntilItEnds) {
  testing::TempDir dir;
  auto path = dir.path() / "a.db";
  Database a = Database::Open(path, true, kSchema);
  Database b = Database::Open(path, false, kSchema);
  auto count = [&] {
    Statement rows = a.Prepare("SELECT count(*) FROM t");
    rows.Step();
    return rows.Int(0);
  };
  {
    ReadTransaction read(a);
    EXPECT_EQ(count(), 0);
    b.Prepare("INSERT INTO t(name) VALUES ('other')").Run();
    EXPECT_EQ(count(), 0);
  }
  EXPECT_EQ(count(), 1);
  Transaction write(a);
  a.Prepare("INSERT INTO t(name) VALUES ('own')").Run();
  write.Commit();
  EXPECT_EQ(count(), 2);
}

}  // namespace
}  // namespace brindlecore::platform::sqlite
