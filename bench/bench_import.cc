// What an import costs against the writes it cannot avoid.
//
// One import file of 10,000 lines: 5,000 additions (100 local users into 50 profile groups), then
// the 5,000 matching removals, so the store ends each run as it began. Every line is one durable
// membership change, so the reference is the same 10,000 single-row transactions (an insert per
// addition, a delete per removal) issued directly on SQLite with the store's settings: WAL and
// synchronous=FULL.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "component/authentication_object.h"
#include "platform/root.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore {
namespace {

constexpr int kUsers = 100;
constexpr int kGroups = 50;

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(text);
  }
}

struct Fixture {
  Fixture() {
    testing::AccountsFixture accounts(dir.path());
    accounts.Computer("IMPORT");
    for (int u = 1; u <= kUsers; ++u) accounts.User("IMPORT", "user" + std::to_string(u));
    for (int g = 1; g <= kGroups; ++g) accounts.Group("IMPORT", "QZW3SVC" + std::to_string(g));
    file = (dir.path() / "import.txt").string();
    std::ofstream out(file);
    for (const char op : {'+', '-'}) {
      for (int g = 1; g <= kGroups; ++g) {
        for (int u = 1; u <= kUsers; ++u) {
          out << op << ",user" << u << ",QZW3SVC" << g << "\r\n";
        }
      }
    }
    platform = platform::MakePlatform(dir.path());
  }

  testing::TempDir dir;
  std::string file;
  std::unique_ptr<platform::Platform> platform;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_ImportTenThousandLines(benchmark::State& state) {
  Fixture& f = Shared();
  Object object = component::NewAuthenticationObject(*f.platform);
  std::vector<Arg> args = {{f.file}, {"WinNT://IMPORT"}, {"IMPORT"}};
  for (auto _ : state) {
    const std::string html = ToText(object.Call("ImportProfileAdmins", args));
    if (html.find("UserInfo4") != std::string::npos || html.find("</table>") == std::string::npos) {
      state.SkipWithError("a line failed");
      break;
    }
  }
  state.counters["lines"] = 2.0 * kUsers * kGroups;
}
BENCHMARK(BM_ImportTenThousandLines)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SqliteTenThousandDurableTransactions(benchmark::State& state) {
  testing::TempDir dir;
  sqlite3* db = nullptr;
  const std::string file = (dir.path() / "reference.db").string();
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("open");
  Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;");
  Exec(db, "CREATE TABLE members(id INTEGER PRIMARY KEY, group_id INTEGER NOT NULL, "
           "account_id INTEGER NOT NULL, UNIQUE(group_id, account_id))");
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* remove = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO members(group_id, account_id) VALUES (?, ?)", -1, &insert,
                     nullptr);
  sqlite3_prepare_v2(db, "DELETE FROM members WHERE group_id = ? AND account_id = ?", -1, &remove,
                     nullptr);
  for (auto _ : state) {
    for (sqlite3_stmt* stmt : {insert, remove}) {
      for (int g = 1; g <= kGroups; ++g) {
        for (int u = 1; u <= kUsers; ++u) {
          Exec(db, "BEGIN IMMEDIATE");
          sqlite3_reset(stmt);
          sqlite3_bind_int(stmt, 1, g);
          sqlite3_bind_int(stmt, 2, u);
          if (sqlite3_step(stmt) != SQLITE_DONE) state.SkipWithError("step");
          Exec(db, "COMMIT");
        }
      }
    }
  }
  sqlite3_finalize(insert);
  sqlite3_finalize(remove);
  sqlite3_close(db);
}
BENCHMARK(BM_SqliteTenThousandDurableTransactions)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace brindlecore

BENCHMARK_MAIN();
