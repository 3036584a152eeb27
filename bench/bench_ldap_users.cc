// Listing 20,000 directory users through the search record set, against the stock command-line
// client paging over the same attributes: the cost of our layer over libldap's own.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/default_platform.h"
#include "support/slapd_server.h"
#include "support/temp_dir.h"

extern char** environ;

namespace brindlecore {
namespace {

constexpr int kUsers = 20000;

struct Fixture {
  Fixture() {
    server.AddNumberedUsers("user", kUsers);
    server.WriteConfig(root.path());
    platform = platform::MakePlatform(root.path());
    std::ofstream(root.path() / "service.pw") << server.service_password();
    std::filesystem::permissions(
        root.path() / "service.pw",
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  testing::SlapdServer server;
  testing::TempDir root;
  std::unique_ptr<platform::Platform> platform;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_RecordsetUsers(benchmark::State& state) {
  Fixture& f = Shared();
  const std::vector<std::string> columns = {"sAMAccountName", "name", "ADsPath", "givenName", "sn"};
  for (auto _ : state) {
    auto connection = f.platform->NewConnection();
    connection->SetProvider("ADsDSOObject");
    connection->Open("Active Directory Provider", "", "", -1);
    auto command = connection->CreateCommand();
    command->SetCommandText("<LDAP://" + f.server.base_dn() +
                            ">;(objectClass=User);sAMAccountName,name,ADsPath,givenName,sn;"
                            "subTree");
    command->SetProperty("Page Size", int16_t{1000});
    command->SetProperty("Size Limit", int32_t{kUsers});
    command->SetProperty("Cache Results", false);
    auto records = command->Execute();
    int rows = 0;
    for (; !records->Eof(); records->MoveNext()) {
      for (const auto& c : columns) benchmark::DoNotOptimize(records->Field(c));
      ++rows;
    }
    records->Close();
    if (rows != kUsers) state.SkipWithError("wrong number of rows");
  }
}

void BM_LdapsearchPagedUsers(benchmark::State& state) {
  Fixture& f = Shared();
  std::vector<std::string> argv = {"ldapsearch",
                                   "-x",
                                   "-LLL",
                                   "-H",
                                   f.server.uri(),
                                   "-D",
                                   f.server.service_dn(),
                                   "-y",
                                   (f.root.path() / "service.pw").string(),
                                   "-b",
                                   f.server.base_dn(),
                                   "-E",
                                   "pr=1000/noprompt",
                                   "(objectClass=User)",
                                   "sAMAccountName",
                                   "name",
                                   "givenName",
                                   "sn"};
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<std::string> env_text = {"LDAPNOINIT=1"};
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "LDAP", 4) != 0) env_text.emplace_back(*e);
  }
  std::vector<char*> env;
  for (auto& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  for (auto _ : state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) {
      state.SkipWithError("cannot run ldapsearch");
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("ldapsearch failed");
  }
}

// The client runs in a child process, so only wall-clock time compares the two.
BENCHMARK(BM_RecordsetUsers)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LdapsearchPagedUsers)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace brindlecore

BENCHMARK_MAIN();
