#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "platform/automation/errors.h"
#include "platform/root.h"

namespace brindlecore::cli {
namespace {

// Run as root on a root that belongs to a service user (the package's /var/lib/brindlecore), the
// command takes on that user before it opens anything: files it makes stay readable by the
// service, and a root that another user controls never gets root's writes.
void BecomeOwnerOf(const std::filesystem::path& root) {
  struct stat st {};
  if (geteuid() != 0 || ::stat(root.c_str(), &st) != 0 || st.st_uid == 0) return;
  if (::setgroups(0, nullptr) != 0 || ::setgid(st.st_gid) != 0 || ::setuid(st.st_uid) != 0) {
    throw AutomationError(
        -1, "cannot act as the owner of " + root.string() + ": " + std::strerror(errno));
  }
}

}  // namespace

std::filesystem::path Context::Root() const {
  auto root = platform::ResolveRoot(root_flag);
  BecomeOwnerOf(root);
  platform::SetProcessRoot(root);
  return root;
}

std::filesystem::path Context::ExistingRoot() const {
  auto root = Root();
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) {
    throw AutomationError(-1, "no platform root at " + root.string() +
                                  " (run 'brindlecore --root " + root.string() + " init')");
  }
  return root;
}

}  // namespace brindlecore::cli

namespace {

// For a word that names no command: which command was being chosen and what it offers, else "".
std::string UnknownCommand(const CLI::App& app) {
  const CLI::App* level = &app;
  std::string path;
  for (auto parsed = level->get_subcommands(); !parsed.empty(); parsed = level->get_subcommands()) {
    level = parsed.front();
    path += level->get_name() + " ";
  }
  if (level->get_subcommands({}).empty()) return "";
  if (!path.empty()) path.pop_back();
  // Words no command took fall through to the top, so the whole tree's leftovers are searched.
  std::string word;
  for (const std::string& arg : app.remaining(/*recurse=*/true)) {
    if (!arg.starts_with("-")) {
      word = arg;
      break;
    }
  }
  std::string names;
  for (const CLI::App* sub : level->get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + sub->get_name();
  }
  if (word.empty()) {
    return (path.empty() ? "a command is needed" : "'" + path + "' needs a command") + " (" +
           (path.empty() ? "" : path + " ") + "commands: " + names + ")";
  }
  std::string command = path.empty() ? word : path + " " + word;
  return "unknown command '" + command + "' (" + (path.empty() ? "" : path + " ") +
         "commands: " + names + ")";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace brindlecore;
  // GnuTLS otherwise sets itself up when the directory library is loaded, for every listing and
  // sign-in, TLS or not: a megabyte of memory. libldap sets it up itself before the first TLS
  // connection. Set while the process has one thread; a value the user gave stays.
  setenv("GNUTLS_NO_IMPLICIT_INIT", "1", /*overwrite=*/0);
  CLI::App app{"Brindlecore: accounts, profile groups and web sites of the statistics server"};
  app.require_subcommand(1);
  // Subcommands inherit this: --root is taken after the subcommand's words too.
  app.fallthrough();
  cli::Context ctx;
  app.add_option("--root", ctx.root_flag,
                 "platform root (else BRINDLECORE_ROOT, else the default)");
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
    if (std::string unknown = UnknownCommand(app); !unknown.empty()) {
      std::cerr << "brindlecore: " << unknown << "\n";
      return 2;
    }
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
