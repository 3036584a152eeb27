// From a StartVirtualWebServer call by name to the site answering over HTTP, with the metabase
// driving a managed nginx: render, `nginx -t`, swap, reload and the new workers taking over.
#include <benchmark/benchmark.h>

#include "support/dispatch.h"
#include "support/web_root.h"

namespace brindlecore {
namespace {

using testing::CallMethod;
using testing::Ref;
using testing::Val;

// `state.range(0)` other started sites are served meanwhile, so the cost of a bigger
// configuration shows.
void BM_StartToFirstAnswer(benchmark::State& state) {
  testing::WebRoot web;
  auto folder = web.Folder("bench", "index.html", "ok").string();
  auto create = [&](int port) {
    return ToText(CallMethod(web.platform(), "CreateVirtualWebServer",
                             {Val(Variant("127.0.0.1")), Val(Variant(std::to_string(port))),
                              Val(Variant(folder)), Val(Variant("bench")), Ref()})
                      .result);
  };
  auto start = [&](const std::string& site) {
    return CallMethod(web.platform(), "StartVirtualWebServer", {Ref(Variant(site)), Ref()});
  };
  for (int i = 0; i < state.range(0); ++i) start(create(testing::FreePort()));

  for (auto _ : state) {
    state.PauseTiming();
    int port = testing::FreePort();
    std::string site = create(port);
    state.ResumeTiming();
    if (start(site).result != Variant(true)) state.SkipWithError("start refused");
    while (testing::HttpGet(port, "/").status != 200) {
    }
    state.PauseTiming();
    auto object = web.platform().GetObject("IIS://LocalHost/W3SVC/" + site);
    object->Put("ServerState", Variant(int32_t{4}));
    object->SetInfo();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartToFirstAnswer)->Arg(0)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace brindlecore

BENCHMARK_MAIN();
