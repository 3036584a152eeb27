// The subcommands of `brindlecore`, each group in its own file, registered on the one app.
#ifndef BRINDLECORE_CLI_COMMANDS_H_
#define BRINDLECORE_CLI_COMMANDS_H_

#include <CLI/CLI.hpp>
#include <filesystem>
#include <functional>
#include <optional>

namespace brindlecore::cli {

// What every subcommand shares: the --root flag as given, resolved on use.
struct Context {
  std::optional<std::filesystem::path> root_flag;
  // The platform root (ResolveRoot of the flag); also made the process's root. Run as root on a
  // root owned by another user, the process first becomes that user (throws when it cannot).
  std::filesystem::path Root() const;
  // Root() for commands that need one made by init: throws "no platform root at R (run
  // 'brindlecore --root R init')" when R is not a folder.
  std::filesystem::path ExistingRoot() const;
};

// Each registers its subcommands on `app`; the callbacks run after parsing and may throw
// AutomationError (reported as "brindlecore: <description>", exit 1).
void AddInitCommand(CLI::App& app, const Context& ctx);
void AddAccountCommands(CLI::App& app, const Context& ctx);  // computer, user, group
void AddSiteCommands(CLI::App& app, const Context& ctx);     // site, favorites
void AddRegsvrCommand(CLI::App& app, const Context& ctx);
void AddInvokeCommand(CLI::App& app, const Context& ctx);
void AddServeCommand(CLI::App& app, const Context& ctx);
void AddLdapCommands(CLI::App& app, const Context& ctx);  // ldap check

// `init --demo`: adds the demo platform (accounts, groups, sites) to an initialised root that
// holds nothing else yet; on any other root it says so and changes nothing.
void SetUpDemo(const std::filesystem::path& root);

}  // namespace brindlecore::cli

#endif  // BRINDLECORE_CLI_COMMANDS_H_
