// The platform's share of a WinNT sign-in against the password check it cannot avoid.
//
// BM_SignInWalk: bind "WinNT:", OpenDSObject with the account's credentials, filter the
// container to groups and walk 100 groups of 20 members reading every name and description,
// as the sign-in does. BM_YescryptVerify: one verification (the store's own) of the very hash
// stored for the account. Their ratio is the platform's overhead (aim: at most 1.2).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/default_platform.h"
#include "platform/directory/winnt/account_store.h"
#include "platform/directory/winnt/password_hash.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore {
namespace {

constexpr char kPassword[] = "correct horse battery";
constexpr int kGroups = 100;
constexpr int kMembers = 20;

// One computer: the signing-in account (default hash cost) and 200 other users, in groups of 19 of
// them, and the account itself in every tenth group.
struct Fixture {
  Fixture() {
    {
      platform::winnt::AccountStore store(dir.path(), true);
      store.CreateDatabase("T");
      store.AddUser("T", "padmin", "", "", kPassword);
    }
    testing::AccountsFixture(dir.path()).InOneTransaction([](testing::AccountsFixture& accounts) {
      for (int u = 1; u <= 200; ++u) accounts.User("T", "user" + std::to_string(u));
      for (int g = 1; g <= kGroups; ++g) {
        accounts.Group("T", "QZW3SVC" + std::to_string(g), "Site " + std::to_string(g));
      }
      for (int g = 1; g <= kGroups; ++g) {
        for (int u = 1; u <= 200; ++u) {
          if ((u + g) % 200 < kMembers - 1) {
            accounts.Member("T", "QZW3SVC" + std::to_string(g), "user" + std::to_string(u));
          }
        }
      }
      // The account's groups by name, as the groups' name index once put them.
      std::vector<std::string> own;
      for (int g = 10; g <= kGroups; g += 10) own.push_back("QZW3SVC" + std::to_string(g));
      std::sort(own.begin(), own.end());
      for (const std::string& group : own) accounts.Member("T", group, "padmin");
    });
    hash = testing::AccountsFixture(dir.path()).PasswordHash("T", "padmin");
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
