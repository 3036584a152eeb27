#include "platform/sqlite/sqlite.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "platform/automation/errors.h"

namespace brindlecore::platform::sqlite {

static_assert(SQLITE_CONSTRAINT == 19 && SQLITE_BUSY == 5 && SQLITE_LOCKED == 6);

namespace {
bool IsRefusal(int system_errno) {
  return system_errno == EACCES || system_errno == EPERM || system_errno == EROFS;
}
}  // namespace

SqliteError MapSqliteError(int code, int system_errno) {
  const errors::ErrorCode* error = &errors::kEFail;
  switch (code & 0xff) {
    case SQLITE_NOMEM:
      error = &errors::kEOutofmemory;
      break;
    case SQLITE_FULL:
      error = &errors::kErrorDiskFull;
      break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      error = &errors::kErrorFileCorrupt;
      break;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      error = &errors::kEAccessdenied;
      break;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
      if (system_errno == ENOSPC || system_errno == EDQUOT) {
        error = &errors::kErrorDiskFull;
      } else if (IsRefusal(system_errno)) {
        error = &errors::kEAccessdenied;
      } else if ((code & 0xff) == SQLITE_CANTOPEN) {
        error = &errors::kErrorPathNotFound;
      }
      break;
    default:
      break;
  }
  return SqliteError(error->Make(), code);
}

namespace {

// The error of a failed call on `db`, naming its file.
SqliteError ErrorOf(sqlite3* db, int rc) {
  if (db == nullptr) return MapSqliteError(rc);
  SqliteError error = MapSqliteError(rc, sqlite3_system_errno(db));
  if (const char* file = sqlite3_db_filename(db, "main"); file != nullptr) error.file = file;
  return error;
}

[[noreturn]] void Fail(sqlite3* db, int rc) {
  throw ErrorOf(db, db != nullptr ? sqlite3_extended_errcode(db) : rc);
}

}  // namespace

// --- Statement

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) Fail(db, rc);
}

Statement::~Statement() {
  if (in_use_ == nullptr) {
    sqlite3_finalize(stmt_);
    return;
  }
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  *in_use_ = false;
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_),
      stmt_(std::exchange(other.stmt_, nullptr)),
      in_use_(std::exchange(other.in_use_, nullptr)) {}

Statement& Statement::Bind(int index, int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) Fail(db_, rc);
  return *this;
}

Statement& Statement::Bind(int index, double value) {
  int rc = sqlite3_bind_double(stmt_, index, value);
  if (rc != SQLITE_OK) Fail(db_, rc);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  int rc =
      sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) Fail(db_, rc);
  return *this;
}

Statement& Statement::Bind(int index, std::nullptr_t) {
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) Fail(db_, rc);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  SqliteError error = ErrorOf(db_, rc);
  // Reset so the statement does not keep a read transaction open after the failure.
  sqlite3_reset(stmt_);
  throw error;
}

int Statement::Run() {
  while (Step()) {
  }
  int changes = sqlite3_changes(db_);
  sqlite3_reset(stmt_);
  return changes;
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }
double Statement::Double(int column) const { return sqlite3_column_double(stmt_, column); }
bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}
std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column));
}

// --- Database

Database Database::Open(const std::filesystem::path& path, bool create,
                        std::span<const std::string_view> migrations, int busy_timeout_ms) {
  if (create) {
    // Create it ourselves so the file never exists with a wider mode; SQLite gives its WAL and
    // shared-memory files the mode of the database file.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      SqliteError error = MapSqliteError(SQLITE_CANTOPEN, errno);
      error.file = path.string();
      throw error;
    }
    ::close(fd);
  } else {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      SqliteError error = MapSqliteError(SQLITE_CANTOPEN, ec.value());
      error.file = path.string();
      throw error;
    }
  }
  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  Database db(raw);  // closes on every path below
  if (rc != SQLITE_OK) Fail(raw, rc);
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, busy_timeout_ms);
  // Asked before anything writes to the file: an empty or truncated store is reported, not made
  // into a new empty one by whoever happens to read it.
  if (!create && db.UserVersion() == 0) {
    throw SqliteError(errors::kErrorFileCorrupt.Make(), SQLITE_CORRUPT, path.string());
  }
  db.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;");
  db.Migrate(migrations);
  return db;
}

Database::~Database() { Close(); }

Database::Database(Database&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), cache_(std::move(other.cache_)) {
  other.cache_.clear();
}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
    cache_ = std::move(other.cache_);
    other.cache_.clear();
  }
  return *this;
}

void Database::Close() {
  for (auto& [sql, cached] : cache_) sqlite3_finalize(cached.stmt);
  cache_.clear();
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

Statement Database::Cached(std::string_view sql) {
  auto it = cache_.find(sql);
  if (it == cache_.end()) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) Fail(db_, rc);
    try {
      it = cache_.emplace(std::string(sql), CachedStatement{stmt, false}).first;
    } catch (...) {
      sqlite3_finalize(stmt);
      throw;
    }
  }
  if (it->second.in_use) return Statement(db_, sql);
  it->second.in_use = true;
  return Statement(db_, it->second.stmt, &it->second.in_use);
}

void Database::Exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(db_, rc);
}

int64_t Database::LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }

int64_t Database::DataVersion() {
  Statement s = Cached("PRAGMA data_version");
  s.Step();
  return s.Int(0);
}

int Database::UserVersion() {
  Statement s = Prepare("PRAGMA user_version");
  s.Step();
  return static_cast<int>(s.Int(0));
}

void Database::Migrate(std::span<const std::string_view> migrations) {
  if (UserVersion() >= static_cast<int>(migrations.size())) {
    // A newer schema than this build knows: refuse rather than write what it cannot read.
    if (UserVersion() > static_cast<int>(migrations.size())) {
      throw SqliteError(errors::kErrorFileCorrupt.Make(), SQLITE_ERROR,
                        sqlite3_db_filename(db_, "main"));
    }
    return;
  }
  Transaction tx(*this);
  // Read again under the write lock: another process may have migrated meanwhile.
  for (int v = UserVersion(); v < static_cast<int>(migrations.size()); ++v) {
    std::string step(migrations[v]);
    Exec(step.c_str());
    Exec(("PRAGMA user_version=" + std::to_string(v + 1)).c_str());
  }
  tx.Commit();
}

// --- Transaction

// Both ends of every change: sqlite3_exec would prepare them again each time.
Transaction::Transaction(Database& db)
    : db_(db), nested_(sqlite3_get_autocommit(db.handle()) == 0) {
  db_.Cached(nested_ ? "SAVEPOINT change" : "BEGIN IMMEDIATE").Run();
}

Transaction::~Transaction() { Rollback(); }

void Transaction::Rollback() {
  if (open_) {
    sqlite3_exec(db_.handle(), nested_ ? "ROLLBACK TO change; RELEASE change" : "ROLLBACK", nullptr,
                 nullptr, nullptr);
  }
  open_ = false;
}

void Transaction::Commit() {
  db_.Cached(nested_ ? "RELEASE change" : "COMMIT").Run();
  open_ = false;
}

// --- ReadTransaction

ReadTransaction::ReadTransaction(Database& db)
    : db_(db), began_(sqlite3_get_autocommit(db.handle()) != 0) {
  if (began_) db_.Cached("BEGIN").Run();
}

// Should the end fail, the transaction is abandoned rather than left open under the next one.
ReadTransaction::~ReadTransaction() {
  if (!began_) return;
  if (sqlite3_exec(db_.handle(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

}  // namespace brindlecore::platform::sqlite
