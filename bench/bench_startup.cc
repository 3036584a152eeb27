// One `brindlecore invoke` process making one trivial call (a refused GetAllUsers: the object is
// created, the call dispatched, the answer written), against `sh -c 'exec /bin/true'`: what a
// script pays to start the command.
#include "bench/process.h"
#include "support/temp_dir.h"

namespace brindlecore::bench {
namespace {

void BM_TrivialCallAgainstShell(benchmark::State& state) {
  testing::TempDir dir;
  RunCommand(dir.path(), {"regsvr"});
  const std::string request = (dir.path() / "request.json").string();
  const std::string response = (dir.path() / "response.json").string();
  std::ofstream(request) << R"({"method": "GetAllUsers", "args": ["", "", "", "", {"ref": ""}]})"
                         << "\n";
  const std::vector<std::string> invoke = {CommandPath(), "--root", dir.path().string(), "invoke"};
  const std::vector<std::string> shell = {"sh", "-c", "exec /bin/true"};
  Side ours, floor;
  for (auto _ : state) {
    floor.Add(RunProcess(shell));
    ours.Add(RunProcess(invoke, request, response));
  }
  if (ReadFile(response).find("Invalid User Provider") == std::string::npos) {
    state.SkipWithError("unexpected response");
  }
  state.counters["ours_max_rss_mib"] = ours.max_rss / (1 << 20);
  ReportRatios(state, ours, floor);
}
BENCHMARK(BM_TrivialCallAgainstShell)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace
}  // namespace brindlecore::bench

BENCHMARK_MAIN();
