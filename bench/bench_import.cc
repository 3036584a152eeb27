// What an import costs against the writes it cannot avoid, as whole processes.
//
// One import file of 10,000 lines: 5,000 additions (100 local users into 50 profile groups), then
// the 5,000 matching removals, so the store ends each run as it began. Every line is one durable
// membership change, so the floor is one `sqlite3` process issuing the same 10,000 single-row
// transactions (an insert per addition, a delete per removal) on a copy of the same store.
#include <sqlite3.h>

#include <map>

#include "bench/process.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::bench {
namespace {

constexpr int kUsers = 100;
constexpr int kGroups = 50;

std::map<std::string, int64_t> AccountIds(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("open");
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT name, id FROM accounts", -1, &stmt, nullptr);
  std::map<std::string, int64_t> ids;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    ids[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] =
        sqlite3_column_int64(stmt, 1);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return ids;
}

struct Fixture {
  Fixture() {
    testing::AccountsFixture(ours.path()).InOneTransaction([](testing::AccountsFixture& accounts) {
      accounts.Computer("IMPORT");
      for (int u = 1; u <= kUsers; ++u) accounts.User("IMPORT", "user" + std::to_string(u));
      for (int g = 1; g <= kGroups; ++g) accounts.Group("IMPORT", "QZW3SVC" + std::to_string(g));
    });
    RunCommand(ours.path(), {"regsvr"});
    std::filesystem::copy_file(ours.path() / "accounts.db", floor.path() / "accounts.db");
    const std::string file = (ours.path() / "import.txt").string();
    std::ofstream lines(file);
    std::ofstream script(floor.path() / "script.sql");
    script << "PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;\n";
    const auto ids = AccountIds(ours.path() / "accounts.db");
    for (const char op : {'+', '-'}) {
      for (int g = 1; g <= kGroups; ++g) {
        for (int u = 1; u <= kUsers; ++u) {
          const std::string user = "user" + std::to_string(u);
          const std::string group = "QZW3SVC" + std::to_string(g);
          lines << op << "," << user << "," << group << "\r\n";
          const std::string pair =
              std::to_string(ids.at(group)) + ", " + std::to_string(ids.at(user));
          script << "BEGIN IMMEDIATE;\n"
                 << (op == '+'
                         ? "INSERT INTO members(group_id, account_id) VALUES (" + pair + ");\n"
                         : "DELETE FROM members WHERE (group_id, account_id) = (" + pair + ");\n")
                 << "COMMIT;\n";
        }
      }
    }
    std::ofstream(ours.path() / "request.json") << R"({"method": "ImportProfileAdmins", "args": [")"
                                                << file << R"(", "WinNT://IMPORT", "IMPORT"]})"
                                                << "\n";
  }
  testing::TempDir ours, floor;
};

void BM_ImportAgainstDurableWrites(benchmark::State& state) {
  Fixture f;
  const std::vector<std::string> invoke = {CommandPath(), "--root", f.ours.path().string(),
                                           "invoke"};
  const std::vector<std::string> sqlite = {"sqlite3", (f.floor.path() / "accounts.db").string()};
  const std::string response = (f.ours.path() / "response.json").string();
  Side ours, floor;
  for (auto _ : state) {
    floor.Add(RunProcess(sqlite, (f.floor.path() / "script.sql").string()));
    ours.Add(RunProcess(invoke, (f.ours.path() / "request.json").string(), response));
  }
  const std::string html = ReadFile(response);
  if (html.find("UserInfo4") != std::string::npos || html.find("</table>") == std::string::npos) {
    state.SkipWithError("a line failed");
  }
  ReportRatios(state, ours, floor);
}
BENCHMARK(BM_ImportAgainstDurableWrites)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace brindlecore::bench

BENCHMARK_MAIN();
