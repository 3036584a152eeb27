// The WinNT overview of GetAllUsers (2,000 users, 200 per-site profile groups of ten members) as
// one `brindlecore invoke` process, against one `sqlite3` process running the join that returns
// the same user-group pairs: the least any implementation has to read.
#include <sqlite3.h>

#include "bench/process.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::bench {
namespace {

constexpr char kComputer[] = "BENCH";

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(text);
  }
}

// The accounts go in with one transaction of plain inserts: through the store one at a time the
// set-up alone would take minutes.
struct Fixture {
  Fixture() {
    testing::AccountsFixture(dir.path()).Computer(kComputer);
    RunCommand(dir.path(), {"regsvr"});
    sqlite3* db = nullptr;
    if (sqlite3_open((dir.path() / "accounts.db").c_str(), &db) != SQLITE_OK) {
      throw std::runtime_error("open");
    }
    Exec(db, "BEGIN");
    Exec(db,
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
         "INSERT INTO accounts(db_id, kind, name, full_name, description) "
         "SELECT (SELECT id FROM account_dbs WHERE name = 'BENCH'), 1, 'user' || i, "
         "'Full Name ' || i, 'Description ' || i FROM n");
    Exec(db,
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
         "INSERT INTO accounts(db_id, kind, name, description, group_type) "
         "SELECT (SELECT id FROM account_dbs WHERE name = 'BENCH'), 2, 'QZW3SVC' || i, "
         "'Site ' || i, 4 FROM n");
    // Group g holds ten users spread over the whole range, so every user is in one group.
    Exec(db,
         "INSERT INTO members(group_id, account_id) "
         "SELECT g.id, u.id FROM accounts g JOIN accounts u "
         "ON u.kind = 1 AND u.name LIKE 'user%' AND g.kind = 2 AND g.name LIKE 'QZW3SVC%' "
         "AND (CAST(substr(u.name, 5) AS INTEGER) - 1) % 200 = "
         "CAST(substr(g.name, 8) AS INTEGER) - 1");
    Exec(db, "COMMIT");
    sqlite3_close(db);
    std::ofstream(request) << R"({"method": "GetAllUsers", "args": ["WinNT://BENCH", "BENCH", )"
                           << R"("QZW3SVC1", "true", {"ref": ""}]})"
                           << "\n";
  }
  testing::TempDir dir;
  std::filesystem::path request = dir.path() / "request.json";
  std::filesystem::path response = dir.path() / "response.json";
};

// Profile groups of the computer and their member users, in the order the listing shows them.
constexpr char kJoin[] =
    "SELECT u.name, g.name FROM accounts u "
    "JOIN account_dbs d ON d.id = u.db_id AND d.name = 'BENCH' "
    "JOIN members m ON m.account_id = u.id "
    "JOIN accounts g ON g.id = m.group_id AND g.kind = 2 "
    "WHERE u.kind = 1 AND substr(g.name, 1, 7) = 'QZW3SVC' "
    "ORDER BY u.id, g.id;";

void BM_OverviewAgainstJoin(benchmark::State& state) {
  Fixture f;
  const std::vector<std::string> invoke = {CommandPath(), "--root", f.dir.path().string(),
                                           "invoke"};
  const std::vector<std::string> join = {"sqlite3", "-readonly",
                                         (f.dir.path() / "accounts.db").string(), kJoin};
  Side ours, floor;
  for (auto _ : state) {
    floor.Add(RunProcess(join));
    ours.Add(RunProcess(invoke, f.request.string(), f.response.string()));
  }
  const std::string response = ReadFile(f.response);
  // Every user's row, with the user's one group in it.
  if (response.find("user2000</TD>") == std::string::npos ||
      response.find("QZW3SVC200;") == std::string::npos ||
      response.find("\"refs\":[\"\"]") == std::string::npos) {
    state.SkipWithError("unexpected response");
  }
  state.counters["html_bytes"] = static_cast<double>(response.size());
  ReportRatios(state, ours, floor);
}
BENCHMARK(BM_OverviewAgainstJoin)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace brindlecore::bench

BENCHMARK_MAIN();
