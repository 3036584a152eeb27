// Peak memory of one `brindlecore invoke` process listing 20,000 directory users with
// GetAllUsers (the picker rows), against the bytes of HTML it returns: the least the process must
// hold is the answer itself.
#include <nlohmann/json.hpp>

#include "bench/process.h"
#include "support/slapd_server.h"
#include "support/temp_dir.h"

namespace brindlecore::bench {
namespace {

constexpr int kUsers = 20000;

void BM_LdapListingPeakMemory(benchmark::State& state) {
  testing::SlapdServer server;
  server.AddNumberedUsers("user", kUsers);
  testing::TempDir root;
  server.WriteConfig(root.path());
  RunCommand(root.path(), {"regsvr"});
  const std::string request = (root.path() / "request.json").string();
  const std::string response = (root.path() / "response.json").string();
  std::ofstream(request) << R"({"method": "GetAllUsers", "args": ["LDAP://)" << server.base_dn()
                         << R"(", "BENCH", "QZW3SVC1", "false", {"ref": ""}]})"
                         << "\n";
  const std::vector<std::string> invoke = {CommandPath(), "--root", root.path().string(), "invoke"};
  Side ours;
  for (auto _ : state) ours.Add(RunProcess(invoke, request, response));
  const nlohmann::json answer = nlohmann::json::parse(ReadFile(response));
  const std::string html = answer.value("result", "");
  if (html.find("user20000</a>") == std::string::npos || answer["refs"][0] != "") {
    state.SkipWithError("unexpected response");
    return;
  }
  state.counters["html_mib"] = static_cast<double>(html.size()) / (1 << 20);
  state.counters["max_rss_mib"] = ours.max_rss / (1 << 20);
  state.counters["rss_per_html_byte"] = ours.max_rss / static_cast<double>(html.size());

  // A second floor: OpenLDAP's own client reading the same entries, pages and attributes. Most of
  // a small process's RSS is clean pages of the shared libraries (the kernel maps a page's
  // neighbours too on every fault), which the bytes of HTML alone do not account for.
  const std::filesystem::path password = root.path() / "service.pw";
  std::ofstream(password) << server.service_password();
  const std::vector<std::string> ldapsearch = {"ldapsearch",
                                               "-x",
                                               "-LLL",
                                               "-H",
                                               server.uri(),
                                               "-D",
                                               server.service_dn(),
                                               "-y",
                                               password.string(),
                                               "-b",
                                               server.base_dn(),
                                               "-E",
                                               "pr=1000/noprompt",
                                               "(objectClass=User)",
                                               "sAMAccountName",
                                               "name",
                                               "ADsPath",
                                               "givenName",
                                               "sn"};
  Side client;
  for (int run = 0; run < 3; ++run) {
    const ProcessFigures f = RunProcess(ldapsearch, "/dev/null", (root.path() / "ldif").string());
    if (f.status != 0) {
      state.SkipWithError("ldapsearch failed");
      return;
    }
    client.Add(f);
  }
  state.counters["ldapsearch_rss_mib"] = client.max_rss / (1 << 20);
  state.counters["rss_vs_ldapsearch"] = ours.max_rss / client.max_rss;
}
BENCHMARK(BM_LdapListingPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace brindlecore::bench

BENCHMARK_MAIN();
