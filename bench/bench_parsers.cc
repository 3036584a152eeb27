// What hostile sizes cost the parsers a request can reach: both must stay linear in the text,
// so the fitted complexity of each is O(N).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/directory/ldap/ldap_names.h"
#include "platform/search/query.h"

namespace brindlecore {
namespace {

// An LDAP path of N RDNs.
void BM_NormalizeDn(benchmark::State& state) {
  std::string dn = "cn=a";
  for (int64_t i = 1; i < state.range(0); ++i) dn += ",ou=b";
  for (auto _ : state) benchmark::DoNotOptimize(platform::ldap::NormalizeDn(dn));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_NormalizeDn)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity();

// A select condition of N terms joined by "or", each nested in parentheses and a "not" as deep as
// the parser allows every 64 terms.
void BM_SelectFilter(benchmark::State& state) {
  std::string text = "select cn from 'LDAP://DC=x' where a='0'";
  for (int64_t i = 1; i < state.range(0); ++i) {
    text += i % 64 ? " or a='1'" : " or (not (not (a='" + std::string(100, 'x') + "')))";
  }
  for (auto _ : state) benchmark::DoNotOptimize(platform::search::ParseQuery(text));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SelectFilter)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();

}  // namespace
}  // namespace brindlecore

BENCHMARK_MAIN();
