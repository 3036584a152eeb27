// What the two large listings cost on a big computer: 2,000 users and 200 per-site profile
// groups of about ten members each.
//
// The overview listing is compared with one SQL query that returns the same user-group pairs
// straight from the account store, the least any implementation has to read. The members table
// is measured for time and for the heap it needs at its peak against the size of the HTML.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "component/authentication_object.h"
#include "platform/default_platform.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

// --- heap accounting: every C++ allocation in the process, the component's included.
namespace {
std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};

void* Track(void* p) {
  if (p == nullptr) throw std::bad_alloc();
  const size_t live = g_live.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return p;
}
// Kept out of line: inlined into the replaced operator delete, GCC 12 takes the free() for a
// mismatch with operator new and refuses the build.
[[gnu::noinline]] void Untrack(void* p) {
  if (p != nullptr) g_live.fetch_sub(malloc_usable_size(p));
  std::free(p);
}
}  // namespace

void* operator new(size_t n) { return Track(std::malloc(n)); }
void* operator new[](size_t n) { return Track(std::malloc(n)); }
void operator delete(void* p) noexcept { Untrack(p); }
void operator delete[](void* p) noexcept { Untrack(p); }
void operator delete(void* p, size_t) noexcept { Untrack(p); }
void operator delete[](void* p, size_t) noexcept { Untrack(p); }

namespace brindlecore {
namespace {

constexpr char kComputer[] = "BENCH";
constexpr int kUsers = 2000;
constexpr int kGroups = 200;
constexpr int kMembersPerGroup = 10;

// kUsers users and kGroups profile groups; group g holds the kMembersPerGroup users g,
// g + kGroups, ... spread over the whole range, so every user is in one group. Each group's members
// go in by name.
void AddAccounts(testing::AccountsFixture& accounts) {
  for (int i = 1; i <= kUsers; ++i) {
    const std::string n = std::to_string(i);
    accounts.User(kComputer, "user" + n, "", "Full Name " + n, "Description " + n);
  }
  for (int g = 1; g <= kGroups; ++g) {
    accounts.Group(kComputer, "QZW3SVC" + std::to_string(g), "Site " + std::to_string(g));
  }
  for (int g = 1; g <= kGroups; ++g) {
    std::vector<std::string> members;
    for (int u = g; u <= kUsers; u += kGroups) members.push_back("user" + std::to_string(u));
    std::sort(members.begin(), members.end());
    for (const std::string& m : members) {
      accounts.Member(kComputer, "QZW3SVC" + std::to_string(g), m);
    }
  }
}

// Built through the store in one transaction.
struct Fixture {
  Fixture() {
    testing::AccountsFixture(dir.path())
        .Computer(kComputer)
        .User(kComputer, "admin", "pw")
        .InOneTransaction(AddAccounts);
    const std::string file = (dir.path() / "accounts.db").string();
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("open");
    platform = platform::MakePlatform(dir.path());
  }
  ~Fixture() { sqlite3_close(db); }

  testing::TempDir dir;
  sqlite3* db = nullptr;
  std::unique_ptr<platform::Platform> platform;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_GetAllUsersOverview(benchmark::State& state) {
  Object object = component::NewAuthenticationObject(*Shared().platform);
  std::vector<Arg> args = {{"WinNT://BENCH"}, {"BENCH"}, {"QZW3SVC1"}, {"true"}, {"", true}};
  size_t size = 0;
  for (auto _ : state) {
    args[4].value = Variant("");
    Variant rows = object.Call("GetAllUsers", args);
    if (!ToText(args[4].value).empty()) state.SkipWithError(ToText(args[4].value).c_str());
    size = ToText(rows).size();
  }
  state.counters["html_bytes"] = static_cast<double>(size);
}

// The same pairs as one query: profile groups of the computer, their member users, in the
// order the listing shows them.
void BM_SqlUserGroupPairs(benchmark::State& state) {
  sqlite3* db = Shared().db;
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT u.name, g.name FROM accounts u "
                     "JOIN account_dbs d ON d.id = u.db_id AND d.name = ?1 "
                     "JOIN members m ON m.account_id = u.id "
                     "JOIN accounts g ON g.id = m.group_id AND g.kind = 2 "
                     "WHERE u.kind = 1 AND substr(g.name, 1, 7) = 'QZW3SVC' "
                     "ORDER BY u.id, g.id",
                     -1, &stmt, nullptr);
  size_t pairs = 0;
  for (auto _ : state) {
    sqlite3_reset(stmt);
    sqlite3_bind_text(stmt, 1, kComputer, -1, SQLITE_STATIC);
    pairs = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string user = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      std::string group = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
      benchmark::DoNotOptimize(user);
      benchmark::DoNotOptimize(group);
      ++pairs;
    }
  }
  sqlite3_finalize(stmt);
  state.counters["pairs"] = static_cast<double>(pairs);
}

void BM_GetAllUsersList(benchmark::State& state) {
  Object object = component::NewAuthenticationObject(*Shared().platform);
  std::vector<Arg> args = {{"BENCH"}, {"admin"}, {"pw"}, {"", true}};
  size_t size = 0;
  size_t peak = 0;
  for (auto _ : state) {
    args[3].value = Variant("");
    const size_t before = g_live.load();
    g_peak.store(before);
    Variant rows = object.Call("GetAllUsersList", args);
    peak = std::max(peak, g_peak.load() - before);
    if (!ToText(args[3].value).empty()) state.SkipWithError(ToText(args[3].value).c_str());
    size = rows.IsString() ? rows.str().size() : 0;
  }
  state.counters["html_bytes"] = static_cast<double>(size);
  state.counters["peak_heap_bytes"] = static_cast<double>(peak);
  state.counters["peak_over_html"] = size == 0 ? 0 : static_cast<double>(peak) / size;
}

BENCHMARK(BM_GetAllUsersOverview)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SqlUserGroupPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetAllUsersList)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace brindlecore

BENCHMARK_MAIN();
