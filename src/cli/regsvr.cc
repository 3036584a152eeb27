#include <iostream>
#include <memory>
#include <string>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "platform/automation/registry.h"

namespace brindlecore::cli {

void AddRegsvrCommand(CLI::App& app, const Context& ctx) {
  struct Options {
    bool unregister = false;
    std::string library;
  };
  auto options = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "regsvr", "register (or -u: unregister) a component library (default: ours)");
  cmd->add_flag("-u,--unregister", options->unregister, "remove the library's registration");
  cmd->add_option("LIBRARY", options->library,
                  "the component library (default: libBrindlecore.so)");
  cmd->callback([options, &ctx] {
    ctx.Root();
    std::filesystem::path library = options->library.empty()
                                        ? automation::DefaultComponentLibrary()
                                        : std::filesystem::absolute(options->library);
    HRESULT hr = automation::RegisterServerLibrary(library, options->unregister);
    if (hr < 0) throw ErrorFromHresult(hr);
    std::cout << (options->unregister ? "Unregistered " : "Registered ") << library.string()
              << "\n";
  });
}

}  // namespace brindlecore::cli
