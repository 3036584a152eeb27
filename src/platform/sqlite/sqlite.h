// A thin RAII layer over SQLite for the platform's stores (accounts, metabase).
//
// Contract:
// - Database::Open creates the file with mode 0600 when missing, then sets WAL, synchronous=FULL,
//   foreign_keys=ON and a busy timeout, and brings the schema forward through `migrations`
//   (migrations[i] takes `PRAGMA user_version` from i to i+1; the pending ones run in one
//   transaction, so a failed upgrade leaves the file as it was).
// - SQL text is always a constant of the caller; values go in only as bound parameters.
// - Every failure throws SqliteError, an AutomationError whose number and text come from the
//   catalogue (MapSqliteError is the one place that decides which); `code` keeps SQLite's
//   extended result code for callers that tell a constraint apart from an I/O failure.
// - One Database is one connection: not safe for concurrent use; the owner serialises calls.
// - Database::Cached lends a statement prepared once per connection, for hot paths; it is reset
//   and its bindings cleared whenever the handle goes away, exceptions included, so no lent
//   statement keeps a read transaction open or carries values into the next use.
// - Transaction begins IMMEDIATE (takes the write lock at once, so two writers wait on the busy
//   timeout instead of failing on upgrade) and rolls back in its destructor unless committed.
//   Inside another transaction it is a savepoint of it: its commit keeps its changes for the
//   outer one to make durable, its rollback undoes only its own.
// - ReadTransaction holds one state of the file for several reads (a plain BEGIN: the reads
//   take no write lock) and ends in its destructor; having written nothing, it keeps nothing.
//   Inside another transaction the reads already see one state, and it does nothing.
#ifndef BRINDLECORE_PLATFORM_SQLITE_SQLITE_H_
#define BRINDLECORE_PLATFORM_SQLITE_SQLITE_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "brindlecore/automation.h"
#include "platform/automation/errors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace brindlecore::platform::sqlite {

struct SqliteError : errors::FileError {
  SqliteError(AutomationError error, int sqlite_code, std::string file = "")
      : FileError(std::move(error), std::move(file)), code(sqlite_code) {}
  int code;                                                  // extended result code
  bool IsConstraint() const { return (code & 0xff) == 19; }  // SQLITE_CONSTRAINT
  bool IsBusy() const { return (code & 0xff) == 5 || (code & 0xff) == 6; }
};

// The catalogue error for an SQLite result code and the system's errno behind it (0: none):
// out of memory → E_OUTOFMEMORY; a full disk (or ENOSPC behind an I/O error) → ERROR_DISK_FULL;
// a damaged file or one that is no database → ERROR_FILE_CORRUPT; permission, read-only and
// authorisation (or EACCES, EPERM, EROFS behind a failure to open or write) → E_ACCESSDENIED;
// cannot open otherwise → ERROR_PATH_NOT_FOUND; anything else (busy, constraint) → E_FAIL.
SqliteError MapSqliteError(int code, int system_errno = 0);

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;

  // Binds 1-based parameter `index`. Returns *this to chain.
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, int value) { return Bind(index, static_cast<int64_t>(value)); }
  Statement& Bind(int index, double value);
  Statement& Bind(int index, std::string_view text);
  Statement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
  Statement& Bind(int index, const std::string& text) {
    return Bind(index, std::string_view(text));
  }
  Statement& Bind(int index, std::nullptr_t);
  template <typename T>
  Statement& Bind(int index, const std::optional<T>& value) {
    return value ? Bind(index, *value) : Bind(index, nullptr);
  }
  // Binds all parameters in order, from 1.
  template <typename... Args>
  Statement& BindAll(const Args&... args) {
    int i = 0;
    (Bind(++i, args), ...);
    return *this;
  }

  // Advances: true when a row is ready, false when done. Throws on failure.
  bool Step();
  // Runs a statement that returns no rows (or ignores them); returns sqlite3_changes.
  int Run();
  // Ready to run again with new bindings.
  void Reset();

  int64_t Int(int column) const;
  double Double(int column) const;
  std::string Text(int column) const;  // "" for NULL
  bool IsNull(int column) const;

 private:
  friend class Database;
  Statement(sqlite3* db, sqlite3_stmt* lent, bool* in_use)
      : db_(db), stmt_(lent), in_use_(in_use) {}
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  bool* in_use_ = nullptr;  // set when lent by Database::Cached: released, not finalized
};

class Database {
 public:
  // Opens (creating when `create`) the database at `path`. ERROR_PATH_NOT_FOUND when it is
  // missing and `create` is false; ERROR_FILE_CORRUPT when it is not a database, has a newer
  // schema than `migrations` know, or (without `create`) was never given a schema: a store is
  // never made from a file that should already hold one. Throws SqliteError naming the file;
  // nothing stays open.
  static Database Open(const std::filesystem::path& path, bool create,
                       std::span<const std::string_view> migrations, int busy_timeout_ms = 10000);
  ~Database();
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;

  Statement Prepare(std::string_view sql) { return Statement(db_, sql); }
  // For statements run on every call of a hot path: preparing costs more than running most of
  // them. Kept until the Database closes. Should the same text still be lent (a nested use), a
  // fresh statement is prepared, so callers need not know about each other.
  Statement Cached(std::string_view sql);
  // Runs one or more statements without parameters (schema text, pragmas).
  void Exec(const char* sql);
  int64_t LastInsertRowId() const;
  // Changes whenever another connection commits to the file (PRAGMA data_version).
  int64_t DataVersion();
  int UserVersion();
  sqlite3* handle() const { return db_; }

 private:
  struct CachedStatement {
    sqlite3_stmt* stmt;
    bool in_use;
  };
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  explicit Database(sqlite3* db) : db_(db) {}
  void Migrate(std::span<const std::string_view> migrations);
  void Close();
  sqlite3* db_ = nullptr;
  // Node-based, so the in_use flag a lent Statement points to stays put as entries are added.
  std::unordered_map<std::string, CachedStatement, TextHash, std::equal_to<>> cache_;
};

class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();  // rolls back when Commit was not reached
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();
  // Ends the transaction keeping nothing, now rather than at the end of scope (after a failed
  // Commit too). Never throws.
  void Rollback();

 private:
  Database& db_;
  bool nested_;
  bool open_ = true;
};

class ReadTransaction {
 public:
  explicit ReadTransaction(Database& db);
  ~ReadTransaction();
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;

 private:
  Database& db_;
  bool began_;
};

}  // namespace brindlecore::platform::sqlite

#endif  // BRINDLECORE_PLATFORM_SQLITE_SQLITE_H_
