// What a call by name costs over a direct C++ call of the same method: name look-up, argument
// checks and unpacking, and the write-back of by-reference outputs.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "component/authentication.h"
#include "component/authentication_object.h"
#include "platform/default_platform.h"
#include "support/temp_dir.h"

namespace brindlecore {
namespace {

struct Fixture {
  testing::TempDir dir;
  std::unique_ptr<platform::Platform> platform = platform::MakePlatform(dir.path());
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

// The host's argument list is built once, as a page holds its variables; by-reference outputs
// are reset each round like the direct call's locals.

// A sign-in refused at its first argument check: the frame alone, no platform work.
void BM_SignInRefused_Direct(benchmark::State& state) {
  component::Authentication auth(*Shared().platform, nullptr);
  for (auto _ : state) {
    Variant list, names, error;
    Variant r = auth.AuthenticateUser("PC", Variant::Null(), "u", "p", list, names, "Admins",
                                      "ServerAdministrator", error);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(error);
  }
}

void BM_SignInRefused_ByName(benchmark::State& state) {
  Object object = component::NewAuthenticationObject(*Shared().platform);
  std::vector<Arg> args = {{"PC"},     {Variant::Null()},       {"u"},
                           {"p"},      {Variant(), true},       {Variant(), true},
                           {"Admins"}, {"ServerAdministrator"}, {Variant(), true}};
  for (auto _ : state) {
    args[4].value = Variant();
    args[5].value = Variant();
    args[8].value = Variant();
    Variant r = object.Call("AuthenticateUser", args);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(args);
  }
}

// A listing whose bind reaches the account store and fails there: real platform work.
void BM_GroupsListUnknownComputer_Direct(benchmark::State& state) {
  component::Authentication auth(*Shared().platform, nullptr);
  for (auto _ : state) {
    Variant error;
    Variant r = auth.GetAllGroupsList("WinNT://NOSUCH", "", "", error);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(error);
  }
}

void BM_GroupsListUnknownComputer_ByName(benchmark::State& state) {
  Object object = component::NewAuthenticationObject(*Shared().platform);
  std::vector<Arg> args = {{"WinNT://NOSUCH"}, {""}, {""}, {Variant(), true}};
  for (auto _ : state) {
    args[3].value = Variant();
    Variant r = object.Call("GetAllGroupsList", args);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(args);
  }
}

BENCHMARK(BM_SignInRefused_Direct);
BENCHMARK(BM_SignInRefused_ByName);
BENCHMARK(BM_GroupsListUnknownComputer_Direct);
BENCHMARK(BM_GroupsListUnknownComputer_ByName);

}  // namespace
}  // namespace brindlecore

BENCHMARK_MAIN();
