#include <iostream>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "platform/automation/errors.h"
#include "platform/root.h"

namespace brindlecore::cli {

std::filesystem::path Context::Root() const {
  auto root = platform::ResolveRoot(root_flag);
  platform::SetProcessRoot(root);
  return root;
}

}  // namespace brindlecore::cli

int main(int argc, char** argv) {
  using namespace brindlecore;
  CLI::App app{"Brindlecore: accounts, profile groups and web sites of the statistics server"};
  app.require_subcommand(1);
  cli::Context ctx;
  app.add_option("--root", ctx.root_flag, "platform root (else BRINDLECORE_ROOT, else the default)");
  cli::AddInitCommand(app, ctx);
  cli::AddAccountCommands(app, ctx);
  cli::AddSiteCommands(app, ctx);
  cli::AddRegsvrCommand(app, ctx);
  cli::AddInvokeCommand(app, ctx);
  cli::AddServeCommand(app, ctx);
  cli::AddLdapCommands(app, ctx);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  } catch (const AutomationError& e) {
    // Which file failed is the command's to say; the component's callers see the error alone.
    auto* file_error = dynamic_cast<const errors::FileError*>(&e);
    std::cerr << "brindlecore: "
              << (file_error && !file_error->file.empty() ? file_error->file + ": " : "")
              << e.description << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "brindlecore: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
