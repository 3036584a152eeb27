// The SQLite functions the stores call, bound to libsqlite3 at the first store opened rather than
// at every start of a process (see platform/system_library.h). The stores call SQLite as usual;
// these definitions stand in for the library's own and stay private to the platform library, so
// a program that links SQLite itself still gets SQLite's. Every SQLite function the platform uses
// is listed here: the platform links with --no-undefined, so a new one fails the build until it
// is added.
#pragma GCC visibility push(hidden)
#include <sqlite3.h>
#pragma GCC visibility pop

#include "platform/system_library.h"

namespace brindlecore::platform::sqlite {
namespace {

constexpr char kSqliteLibrary[] = "libsqlite3.so.0";

// clang-format off: one function a line, which the formatter would fold into a staircase.
#define BRINDLECORE_SQLITE_FUNCTIONS(X) \
  X(sqlite3_open_v2)                    \
  X(sqlite3_close_v2)                   \
  X(sqlite3_extended_result_codes)      \
  X(sqlite3_busy_timeout)               \
  X(sqlite3_exec)                       \
  X(sqlite3_prepare_v2)                 \
  X(sqlite3_prepare_v3)                 \
  X(sqlite3_finalize)                   \
  X(sqlite3_reset)                      \
  X(sqlite3_clear_bindings)             \
  X(sqlite3_step)                       \
  X(sqlite3_bind_int64)                 \
  X(sqlite3_bind_double)                \
  X(sqlite3_bind_null)                  \
  X(sqlite3_bind_text64)                \
  X(sqlite3_changes)                    \
  X(sqlite3_get_autocommit)             \
  X(sqlite3_last_insert_rowid)          \
  X(sqlite3_column_int64)               \
  X(sqlite3_column_double)              \
  X(sqlite3_column_type)                \
  X(sqlite3_column_text)                \
  X(sqlite3_column_bytes)               \
  X(sqlite3_db_filename)                \
  X(sqlite3_extended_errcode)           \
  X(sqlite3_system_errno)
// clang-format on

struct Functions {
#define BRINDLECORE_MEMBER(name) decltype(&::name) name;
  BRINDLECORE_SQLITE_FUNCTIONS(BRINDLECORE_MEMBER)
#undef BRINDLECORE_MEMBER
};

// Loaded whole at the first call, which is always the open of a store: every later call works
// on a handle that open returned, so only that first call can fail to load (E_FAIL).
const Functions& Sqlite() {
  static const Functions functions = [] {
    void* library = OpenSystemLibrary(kSqliteLibrary);
    Functions f;
#define BRINDLECORE_RESOLVE(name) f.name = SystemFunction<decltype(&::name)>(library, #name);
    BRINDLECORE_SQLITE_FUNCTIONS(BRINDLECORE_RESOLVE)
#undef BRINDLECORE_RESOLVE
    return f;
  }();
  return functions;
}

}  // namespace
}  // namespace brindlecore::platform::sqlite

using brindlecore::platform::sqlite::Sqlite;

int sqlite3_open_v2(const char* filename, sqlite3** db, int flags, const char* vfs) {
  return Sqlite().sqlite3_open_v2(filename, db, flags, vfs);
}
int sqlite3_close_v2(sqlite3* db) { return Sqlite().sqlite3_close_v2(db); }
int sqlite3_extended_result_codes(sqlite3* db, int on) {
  return Sqlite().sqlite3_extended_result_codes(db, on);
}
int sqlite3_busy_timeout(sqlite3* db, int ms) { return Sqlite().sqlite3_busy_timeout(db, ms); }
int sqlite3_exec(sqlite3* db, const char* sql, int (*callback)(void*, int, char**, char**),
                 void* argument, char** error) {
  return Sqlite().sqlite3_exec(db, sql, callback, argument, error);
}
int sqlite3_prepare_v2(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** stmt,
                       const char** tail) {
  return Sqlite().sqlite3_prepare_v2(db, sql, bytes, stmt, tail);
}
int sqlite3_prepare_v3(sqlite3* db, const char* sql, int bytes, unsigned int flags,
                       sqlite3_stmt** stmt, const char** tail) {
  return Sqlite().sqlite3_prepare_v3(db, sql, bytes, flags, stmt, tail);
}
int sqlite3_finalize(sqlite3_stmt* stmt) { return Sqlite().sqlite3_finalize(stmt); }
int sqlite3_reset(sqlite3_stmt* stmt) { return Sqlite().sqlite3_reset(stmt); }
int sqlite3_clear_bindings(sqlite3_stmt* stmt) { return Sqlite().sqlite3_clear_bindings(stmt); }
int sqlite3_step(sqlite3_stmt* stmt) { return Sqlite().sqlite3_step(stmt); }
int sqlite3_bind_int64(sqlite3_stmt* stmt, int index, sqlite3_int64 value) {
  return Sqlite().sqlite3_bind_int64(stmt, index, value);
}
int sqlite3_bind_double(sqlite3_stmt* stmt, int index, double value) {
  return Sqlite().sqlite3_bind_double(stmt, index, value);
}
int sqlite3_bind_null(sqlite3_stmt* stmt, int index) {
  return Sqlite().sqlite3_bind_null(stmt, index);
}
int sqlite3_bind_text64(sqlite3_stmt* stmt, int index, const char* text, sqlite3_uint64 bytes,
                        void (*destructor)(void*), unsigned char encoding) {
  return Sqlite().sqlite3_bind_text64(stmt, index, text, bytes, destructor, encoding);
}
int sqlite3_changes(sqlite3* db) { return Sqlite().sqlite3_changes(db); }
int sqlite3_get_autocommit(sqlite3* db) { return Sqlite().sqlite3_get_autocommit(db); }
sqlite3_int64 sqlite3_last_insert_rowid(sqlite3* db) {
  return Sqlite().sqlite3_last_insert_rowid(db);
}
sqlite3_int64 sqlite3_column_int64(sqlite3_stmt* stmt, int column) {
  return Sqlite().sqlite3_column_int64(stmt, column);
}
double sqlite3_column_double(sqlite3_stmt* stmt, int column) {
  return Sqlite().sqlite3_column_double(stmt, column);
}
int sqlite3_column_type(sqlite3_stmt* stmt, int column) {
  return Sqlite().sqlite3_column_type(stmt, column);
}
const unsigned char* sqlite3_column_text(sqlite3_stmt* stmt, int column) {
  return Sqlite().sqlite3_column_text(stmt, column);
}
int sqlite3_column_bytes(sqlite3_stmt* stmt, int column) {
  return Sqlite().sqlite3_column_bytes(stmt, column);
}
sqlite3_filename sqlite3_db_filename(sqlite3* db, const char* name) {
  return Sqlite().sqlite3_db_filename(db, name);
}
int sqlite3_extended_errcode(sqlite3* db) { return Sqlite().sqlite3_extended_errcode(db); }
int sqlite3_system_errno(sqlite3* db) { return Sqlite().sqlite3_system_errno(db); }
