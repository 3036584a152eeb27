// The WinNT overview of GetAllUsers (2,000 users, 200 per-site profile groups of ten members) as
// one `brindlecore invoke` process, against one `sqlite3` process running the join that returns
// the same user-group pairs: the least any implementation has to read.
#include <algorithm>

#include "bench/process.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::bench {
namespace {

constexpr char kComputer[] = "BENCH";

// 2,000 users and 200 profile groups; group g holds the ten users g, g + 200, ... spread over the
// whole range, so every user is in one group. Each group's members go in by name.
void AddAccounts(testing::AccountsFixture& accounts) {
  for (int i = 1; i <= 2000; ++i) {
    const std::string n = std::to_string(i);
    accounts.User(kComputer, "user" + n, "", "Full Name " + n, "Description " + n);
  }
  for (int g = 1; g <= 200; ++g) {
    accounts.Group(kComputer, "QZW3SVC" + std::to_string(g), "Site " + std::to_string(g));
  }
  for (int g = 1; g <= 200; ++g) {
    std::vector<std::string> members;
    for (int u = g; u <= 2000; u += 200) members.push_back("user" + std::to_string(u));
    std::sort(members.begin(), members.end());
    for (const std::string& m : members) {
      accounts.Member(kComputer, "QZW3SVC" + std::to_string(g), m);
    }
  }
}

// Built through the store in one transaction.
struct Fixture {
  Fixture() {
    testing::AccountsFixture(dir.path()).Computer(kComputer).InOneTransaction(AddAccounts);
    RunCommand(dir.path(), {"regsvr"});
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
