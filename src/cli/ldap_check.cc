// `brindlecore ldap check [USER]`: walks an administrator through the directory set-up one step at
// a time, for every configured server, and says what to change where a step fails.
#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "platform/directory/ldap/ldap_entry.h"
#include "platform/root.h"

namespace brindlecore::cli {
namespace {

// Read without echo from a terminal; a line of standard input otherwise.
std::string ReadPassword() {
  std::string password;
  termios saved{};
  bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (tty) {
    std::cerr << "Password: " << std::flush;
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::getline(std::cin, password);
  if (tty) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << "\n";
  }
  return password;
}

}  // namespace

void AddLdapCommands(CLI::App& app, const Context& ctx) {
  auto* ldap = app.add_subcommand("ldap", "the directory (LDAP or Active Directory) set-up");
  ldap->require_subcommand(1);
  auto* check = ldap->add_subcommand(
      "check", "try each configured server step by step; with USER, also that account's sign-in");
  auto user = std::make_shared<std::string>();
  check->add_option("USER", *user, "an account name, DOMAIN\\name or name@domain");
  check->callback([&ctx, user] {
    platform::PlatformConfig config = platform::PlatformConfig::Load(ctx.Root());
    std::string password = user->empty() ? "" : ReadPassword();
    if (!platform::LoadLdapBackend().check_set_up(config, *user, password, std::cout)) {
      throw std::runtime_error("the directory set-up check failed at the steps above");
    }
  });
}

}  // namespace brindlecore::cli
