// The platform's share of a WinNT sign-in against the password check it cannot avoid.
//
// BM_SignInWalk: bind "WinNT:", OpenDSObject with the account's credentials, filter the
// container to groups and walk 100 groups of 20 members reading every name and description,
// as the sign-in does. BM_YescryptVerify: one verification (the store's own) of the very hash
// stored for the account. Their ratio is the platform's overhead (aim: at most 1.2).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/default_platform.h"
#include "platform/directory/winnt/account_store.h"
#include "platform/directory/winnt/password_hash.h"
#include "support/temp_dir.h"

namespace brindlecore {
namespace {

constexpr char kPassword[] = "correct horse battery";
constexpr int kGroups = 100;
constexpr int kMembers = 20;

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(text);
  }
}

// One computer: the signing-in account (default hash cost) and 200 other users; groups and
// memberships written in one bulk transaction, which one change at a time would take minutes.
struct Fixture {
  Fixture() {
    {
      platform::winnt::AccountStore store(dir.path(), true);
      store.CreateDatabase("T");
      store.AddUser("T", "padmin", "", "", kPassword);
    }
    sqlite3* db = nullptr;
    if (sqlite3_open((dir.path() / "accounts.db").c_str(), &db) != SQLITE_OK) {
      throw std::runtime_error("open");
    }
    Exec(db, "BEGIN");
    Exec(db,
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
         "INSERT INTO accounts(db_id, kind, name) SELECT 1, 1, 'user' || i FROM n");
    Exec(db, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                 std::to_string(kGroups) +
                 ") INSERT INTO accounts(db_id, kind, name, description, group_type) "
                 "SELECT 1, 2, 'QZW3SVC' || i, 'Site ' || i, 4 FROM n");
    // Each group: 19 ordinary users, then the account itself in every tenth group.
    Exec(db,
         "INSERT INTO members(group_id, account_id) SELECT g.id, u.id FROM accounts g "
         "JOIN accounts u ON u.kind = 1 AND u.name LIKE 'user%' "
         "WHERE g.name LIKE 'QZW3SVC%' AND "
         "(CAST(substr(u.name, 5) AS INTEGER) + CAST(substr(g.name, 8) AS INTEGER)) % 200 < " +
             std::to_string(kMembers - 1) + " ORDER BY g.id, u.id");
    Exec(db,
         "INSERT INTO members(group_id, account_id) SELECT g.id, u.id FROM accounts g, accounts u "
         "WHERE g.name LIKE 'QZW3SVC%' AND u.name = 'padmin' "
         "AND CAST(substr(g.name, 8) AS INTEGER) % 10 = 0");
    Exec(db, "COMMIT");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT password_hash FROM accounts WHERE name = 'padmin'", -1, &stmt,
                       nullptr);
    sqlite3_step(stmt);
    hash = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    platform = platform::MakePlatform(dir.path());
  }
  testing::TempDir dir;
  std::string hash;
  std::unique_ptr<platform::Platform> platform;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_SignInWalk(benchmark::State& state) {
  Fixture& f = Shared();
  int matches = 0;
  for (auto _ : state) {
    auto ns = f.platform->GetObject("WinNT:");
    auto container = ns->OpenDSObject("WinNT://T,computer", "T\\padmin", kPassword, 1);
    container->SetFilter({"group"});
    auto groups = container->Enumerate();
    while (auto group = groups->Next()) {
      std::string name = group->Name();
      auto members = group->Members();
      while (auto member = members->Next()) {
        if (member->Name() == "padmin") {
          benchmark::DoNotOptimize(group->Description());
          ++matches;
        }
      }
    }
  }
  if (matches != 10 * static_cast<int>(state.iterations())) state.SkipWithError("wrong walk");
}
BENCHMARK(BM_SignInWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_YescryptVerify(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    if (!platform::winnt::VerifyPassword(kPassword, f.hash)) {
      state.SkipWithError("verification failed");
    }
  }
}
BENCHMARK(BM_YescryptVerify)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace brindlecore

BENCHMARK_MAIN();
