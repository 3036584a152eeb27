// `init`: makes a root ready to serve: accounts, web service, registered component.
#include <unistd.h>

#include <climits>
#include <iostream>
#include <memory>
#include <string>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "platform/automation/registry.h"
#include "platform/directory/iis/metabase_store.h"
#include "platform/directory/winnt/account_store.h"
#include "platform/root.h"

namespace brindlecore::cli {
namespace {

// The local computer's account database is named like the machine: its host name without the
// domain, in upper case.
std::string DefaultComputerName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof(host) - 1) != 0 || host[0] == '\0') return "LOCALHOST";
  std::string name(host);
  name = name.substr(0, name.find('.'));
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

}  // namespace

void AddInitCommand(CLI::App& app, const Context& ctx) {
  struct Options {
    std::string computer;
    bool demo = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "init",
      "create the root, the computer's account database and the web service, and "
      "register the component (safe to run again)");
  cmd->add_option("--computer", options->computer,
                  "account database of this computer (default: host name in upper case)");
  cmd->add_flag("--demo", options->demo, "add demo accounts, groups and sites");
  cmd->callback([options, &ctx] {
    std::filesystem::path root = ctx.Root();
    platform::EnsureRoot(root);
    std::cout << "Platform root " << root.string() << "\n";

    std::string computer = options->computer.empty() ? DefaultComputerName() : options->computer;
    platform::winnt::AccountStore accounts(root, /*create=*/true);
    if (accounts.CreateDatabase(computer)) {
      std::cout << "Created account database " << computer
                << " with groups Administrators and Users\n";
    } else {
      std::cout << "Account database " << computer << " already exists\n";
    }

    platform::iis::InitializeWebService(root);
    std::cout << "Web service IIS://LocalHost/W3SVC is ready\n";

    std::filesystem::path library = automation::DefaultComponentLibrary();
    HRESULT hr = automation::RegisterServerLibrary(library, /*unregister=*/false);
    if (hr < 0) throw ErrorFromHresult(hr);
    std::cout << "Registered " << library.string() << "\n";

    if (options->demo) SetUpDemo(root);
  });
}

}  // namespace brindlecore::cli
