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

class SqliteTest : public ::testing::Test {
 protected:
  // The first value of the first row of `sql` on `db`, as text.
  static std::string First(Database& db, const char* sql) {
    Statement s = db.Prepare(sql);
    EXPECT_TRUE(s.Step()) << sql;
    return s.IsNull(0) ? "<null>" : s.Text(0);
  }
  static void Insert(Database& db, const char* name) {
    db.Prepare("INSERT INTO t(name) VALUES (?)").BindAll(name).Run();
  }

  testing::TempDir dir_;
  std::filesystem::path path_ = dir_.path() / "a.db";
};

TEST_F(SqliteTest, OpenCreatesAPrivateWalFileAndMigratesForwardOnly) {
  {
    Database db = Database::Open(path_, true, std::span(kSchema).first(1));
    Insert(db, "kept");
  }
  Database db = Database::Open(path_, false, kSchema);
  EXPECT_EQ(db.UserVersion(), 2);
  EXPECT_EQ(First(db, "SELECT name || '/' || ifnull(note, '<null>') FROM t"), "kept/<null>");
  EXPECT_EQ(First(db, "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(First(db, "PRAGMA foreign_keys"), "1");
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  EXPECT_THROW(Database::Open(path_, false, std::span(kSchema).first(1)), SqliteError);
  EXPECT_THAT(testing::ErrorOf([&] { Database::Open(dir_.path() / "missing.db", false, kSchema); }),
              testing::ErrorNumberIs(errors::kErrorPathNotFound));
}

TEST_F(SqliteTest, TransactionsRollBackUnlessCommittedAndConstraintsFailPlainly) {
  Database db = Database::Open(path_, true, kSchema);
  {
    Transaction tx(db);
    Insert(db, "gone");
  }
  {
    Transaction tx(db);
    Insert(db, "stays");
    tx.Commit();
  }
  EXPECT_EQ(First(db, "SELECT group_concat(name) FROM t"), "stays");
  try {
    Insert(db, "stays");
    FAIL();
  } catch (const SqliteError& e) {
    EXPECT_TRUE(e.IsConstraint());
    EXPECT_EQ(e.number, errors::kEFail.number);
    EXPECT_EQ(e.description, "Unspecified error");
  }
}

TEST_F(SqliteTest, CachedStatementComesBackResetAndUnboundEvenAfterAnException) {
  Database db = Database::Open(path_, true, kSchema);
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

// The data version moves only for other connections' commits. Reads inside one read transaction
// see one state of the file; after it the next commit shows, and the connection can write again.
TEST_F(SqliteTest, OtherConnectionsCommitsShowOutsideAReadTransaction) {
  Database a = Database::Open(path_, true, kSchema);
  Database b = Database::Open(path_, false, kSchema);
  int64_t before = a.DataVersion();
  Insert(a, "own");
  EXPECT_EQ(a.DataVersion(), before);
  Insert(b, "other");
  EXPECT_NE(a.DataVersion(), before);
  {
    ReadTransaction read(a);
    EXPECT_EQ(First(a, "SELECT count(*) FROM t"), "2");
    Insert(b, "later");
    EXPECT_EQ(First(a, "SELECT count(*) FROM t"), "2");
  }
  EXPECT_EQ(First(a, "SELECT count(*) FROM t"), "3");
  Transaction write(a);
  Insert(a, "own again");
  write.Commit();
  EXPECT_EQ(First(a, "SELECT count(*) FROM t"), "4");
}

}  // namespace
}  // namespace brindlecore::platform::sqlite
