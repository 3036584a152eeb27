// What a sign-in costs beyond its password check, and what a group list costs on a big computer.
//
// A profile administrator signs in through dispatch on a computer with 100 groups of 20 members;
// the reference is one yescrypt verification of the very hash stored for that account, which
// every sign-in has to pay. The group list runs over 1,000 groups of 20 members.
#include <benchmark/benchmark.h>
#include <crypt.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "component/authentication_object.h"
#include "platform/default_platform.h"
#include "platform/directory/winnt/account_store.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore {
namespace {

constexpr char kPassword[] = "correct horse";

std::string Group(int g) { return "QZW3SVC" + std::to_string(g); }

// A computer of `groups` profile groups with `members` members each, drawn from 200 users; the
// signing-in account "padmin" is in every tenth group. The account's hash is made at the library's
// default cost, as a real account's would be.
struct Computer {
  Computer(const std::string& name, int groups, int members) {
    testing::AccountsFixture(dir.path())
        .Computer(name)
        .User(name, "padmin")
        .InOneTransaction([&](testing::AccountsFixture& accounts) {
          for (int u = 1; u <= 200; ++u) accounts.User(name, "user" + std::to_string(u));
          for (int g = 1; g <= groups; ++g)
            accounts.Group(name, Group(g), "Site " + std::to_string(g));
          // Group g: the users u with (u + g) % 200 < members - 1, by name.
          const auto member = [&](int u, int g) { return (u + g) % 200 < members - 1; };
          for (int g = 1; g <= groups; ++g) {
            std::vector<std::string> in;
            for (int u = 1; u <= 200; ++u) {
              if (member(u, g)) in.push_back("user" + std::to_string(u));
            }
            std::sort(in.begin(), in.end());
            for (const std::string& m : in) accounts.Member(name, Group(g), m);
          }
          // The built-in groups too, whose names number as 0.
          accounts.Member(name, "Administrators", "padmin").Member(name, "Users", "padmin");
          for (int g = 10; g <= groups; g += 10) accounts.Member(name, Group(g), "padmin");
          // user1 fills the other groups up to 20; where it is a member already, the group
          // keeps 19.
          for (int g = 1; g <= groups; ++g) {
            if (g % 10 != 0 && !member(1, g)) accounts.Member(name, Group(g), "user1");
          }
        });
    platform::winnt::AccountStore(dir.path(), false).SetPassword(name, "padmin", kPassword);
    hash = testing::AccountsFixture(dir.path()).PasswordHash(name, "padmin");
    platform = platform::MakePlatform(dir.path());
  }
  testing::TempDir dir;
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

// The check every sign-in pays: crypt_rn over the stored hash. The platform binds libcrypt
// privately at its first use, so the system library is opened here by name, not looked up in the
// process.
void BM_YescryptVerifyStoredHash(benchmark::State& state) {
  static Computer computer("SIGNIN", 100, 20);
  using CryptRn = char* (*)(const char*, const char*, void*, int);
  void* library = dlopen("libcrypt.so.1", RTLD_NOW | RTLD_LOCAL);
  auto crypt_rn_fn =
      reinterpret_cast<CryptRn>(library != nullptr ? dlsym(library, "crypt_rn") : nullptr);
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
