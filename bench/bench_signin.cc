// What a sign-in costs beyond its password check, and what a group list costs on a big computer.
//
// A profile administrator signs in through dispatch on a computer with 100 groups of 20 members;
// the reference is one yescrypt verification of the very hash stored for that account, which
// every sign-in has to pay. The group list runs over 1,000 groups of 20 members.
#include <benchmark/benchmark.h>
#include <crypt.h>
#include <dlfcn.h>
#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "component/authentication_object.h"
#include "platform/default_platform.h"
#include "platform/directory/winnt/password_hash.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore {
namespace {

constexpr char kPassword[] = "correct horse";

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(text);
  }
}

// A computer of `groups` profile groups with `members` members each, drawn from 200 users; the
// signing-in account "padmin" is in every tenth group. Bulk SQL keeps the set-up short; the
// account's hash is made at the library's default cost, as a real account's would be.
struct Computer {
  Computer(const std::string& name, int groups, int members) {
    testing::AccountsFixture(dir.path()).Computer(name).User(name, "padmin", kPassword);
    const std::string file = (dir.path() / "accounts.db").string();
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("open");
    const std::string db_id = "(SELECT id FROM account_dbs WHERE name = '" + name + "')";
    hash = platform::winnt::HashPassword(kPassword);
    Exec(db, "BEGIN");
    Exec(db, "UPDATE accounts SET password_hash = '" + hash + "' WHERE name = 'padmin'");
    Exec(db,
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
         "INSERT INTO accounts(db_id, kind, name, full_name, description) SELECT " +
             db_id + ", 1, 'user' || i, '', '' FROM n");
    Exec(db, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                 std::to_string(groups) +
                 ") INSERT INTO accounts(db_id, kind, name, description, group_type) SELECT " +
                 db_id + ", 2, 'QZW3SVC' || i, 'Site ' || i, 4 FROM n");
    Exec(db,
         "INSERT INTO members(group_id, account_id) SELECT g.id, u.id FROM accounts g "
         "JOIN accounts u ON g.kind = 2 AND g.name LIKE 'QZW3SVC%' AND u.kind = 1 AND "
         "u.name LIKE 'user%' AND (CAST(substr(u.name, 5) AS INTEGER) + "
         "CAST(substr(g.name, 8) AS INTEGER)) % 200 < " +
             std::to_string(members - 1));
    Exec(db,
         "INSERT INTO members(group_id, account_id) SELECT g.id, u.id FROM accounts g "
         "JOIN accounts u ON g.kind = 2 AND u.name = 'padmin' AND "
         "CAST(substr(g.name, 8) AS INTEGER) % 10 = 0");
    // user1 fills the other groups up to 20; where it is a member already, the group keeps 19.
    Exec(db,
         "INSERT OR IGNORE INTO members(group_id, account_id) SELECT g.id, u.id FROM "
         "accounts g JOIN accounts u ON g.kind = 2 AND u.name = 'user1' AND "
         "CAST(substr(g.name, 8) AS INTEGER) % 10 <> 0");
    Exec(db, "COMMIT");
    platform = platform::MakePlatform(dir.path());
  }
  ~Computer() { sqlite3_close(db); }

  testing::TempDir dir;
  sqlite3* db = nullptr;
  std::string hash;
  std::unique_ptr<platform::Platform> platform;
};

void BM_WinNtProfileSignIn(benchmark::State& state) {
  static Computer computer("SIGNIN", 100, 20);
  Object object = component::NewAuthenticationObject(*computer.platform);
  std::vector<Arg> args = {
      {"LOCAL"},          {"WinNT://SIGNIN"},       {"padmin"}, {kPassword}, {"", true}, {"", true},
      {"Administrators"}, {"ProfileAdministrator"}, {"", true}};
  for (auto _ : state) {
    args[8].value = Variant("");
    Variant result = object.Call("AuthenticateUser", args);
    if (ToText(args[4].value).empty()) state.SkipWithError(ToText(args[8].value).c_str());
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_WinNtProfileSignIn)->Unit(benchmark::kMillisecond);

// The check every sign-in pays: crypt_rn over the stored hash. libcrypt is already in the process
// through the platform library, so it is looked up there rather than linked a second time.
void BM_YescryptVerifyStoredHash(benchmark::State& state) {
  static Computer computer("SIGNIN", 100, 20);
  using CryptRn = char* (*)(const char*, const char*, void*, int);
  auto crypt_rn_fn = reinterpret_cast<CryptRn>(dlsym(RTLD_DEFAULT, "crypt_rn"));
  if (crypt_rn_fn == nullptr) {
    state.SkipWithError("crypt_rn not found");
    return;
  }
  auto data = std::make_unique<crypt_data>();
  for (auto _ : state) {
    std::memset(data.get(), 0, sizeof(crypt_data));
    const char* out = crypt_rn_fn(kPassword, computer.hash.c_str(), data.get(), sizeof(crypt_data));
    if (out == nullptr || computer.hash != out) state.SkipWithError("verification failed");
  }
}
BENCHMARK(BM_YescryptVerifyStoredHash)->Unit(benchmark::kMillisecond);

void BM_GetGroupListThousandGroups(benchmark::State& state) {
  static Computer computer("LISTS", 1000, 20);
  Object object = component::NewAuthenticationObject(*computer.platform);
  std::vector<Arg> args = {{"LISTS"}, {"padmin"}, {"ProfileAdministrator"}, {"", true}};
  for (auto _ : state) {
    Variant result = object.Call("GetGroupList", args);
    if (ToText(result).empty()) state.SkipWithError(ToText(args[3].value).c_str());
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_GetGroupListThousandGroups)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace brindlecore

BENCHMARK_MAIN();
