// `computer`, `user` and `group`: administration of the local account store.
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "platform/automation/errors.h"
#include "platform/directory/winnt/account_store.h"
#include "platform/root.h"

namespace brindlecore::cli {
namespace {

using platform::winnt::AccountEntry;
using platform::winnt::AccountKind;
using platform::winnt::AccountStore;

// `computer add` makes the store (and the root) on first use; every other command works on a root
// that init made.
AccountStore OpenForCreate(const Context& ctx) {
  std::filesystem::path root = ctx.Root();
  platform::EnsureRoot(root);
  return AccountStore(root, /*create=*/true);
}

AccountStore OpenForChange(const Context& ctx) {
  return AccountStore(ctx.ExistingRoot(), /*create=*/true);
}

AccountStore OpenForRead(const Context& ctx) {
  return AccountStore(ctx.ExistingRoot(), /*create=*/false);
}

struct Args {
  std::string computer, name, member, full_name, description;
  bool password_stdin = false;
  bool json = false;
};

// The store answers with the account platform's texts, made for the component's callers; the
// command says instead, in its own words, which computer, account or member it was working on.
std::string Explain(const AutomationError& e, const Args& a, const Context& ctx) {
  const std::string in = " in " + a.computer;
  const std::string group = a.computer + "/" + a.name;
  if (e.number == errors::kErrorBadNetpath.number) {
    return "no computer " + (a.computer.empty() ? a.name : a.computer) + " in " +
           ctx.Root().string();
  }
  if (e.number == errors::kNerrUserexists.number) {
    return "an account " + a.name + " already exists" + in;
  }
  if (e.number == errors::kErrorAliasExists.number || e.number == errors::kNerrGroupexists.number) {
    return "group " + group + " already exists";
  }
  if (e.number == errors::kNerrUsernotfound.number) return "no user " + a.name + in;
  if (e.number == errors::kNerrGroupnotfound.number) return "no group " + a.name + in;
  if (e.number == errors::kErrorInvalidName.number) {
    return "'" + a.name + "' is not a valid name (it may not hold / \\ , or control characters)";
  }
  if (e.number == errors::kErrorNoSuchMember.number) {
    return "no account " + a.member + " to add to " + group;
  }
  if (e.number == errors::kEAdsBadPathname.number) {
    return "'" + a.member + "' is not ACCOUNT or DOMAIN/ACCOUNT";
  }
  if (e.number == errors::kErrorMemberInAlias.number) {
    return a.member + " is already a member of " + group;
  }
  if (e.number == errors::kErrorMemberNotInAlias.number) {
    return a.member + " is not a member of " + group;
  }
  return e.description;
}

// A subcommand's callback whose store errors are explained as above.
std::function<void()> Explained(std::shared_ptr<Args> args, const Context& ctx,
                                std::function<void()> body) {
  return [args, &ctx, body = std::move(body)] {
    try {
      body();
    } catch (const errors::FileError&) {
      throw;  // a file's own failure, named by the file
    } catch (const AutomationError& e) {
      if (e.number == -1) throw;
      throw AutomationError(-1, Explain(e, *args, ctx));
    }
  };
}

std::string ReadLineNoEcho(const char* prompt) {
  std::cerr << prompt << std::flush;
  termios saved{};
  tcgetattr(STDIN_FILENO, &saved);
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  std::string line;
  std::getline(std::cin, line);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::cerr << "\n";
  return line;
}

// The new password: the first line of standard input with --password-stdin, else asked twice on
// a terminal. nullopt when there is neither (no password given). An empty one is refused: it
// would read as "no password" to some and as a real one to others.
std::optional<std::string> ObtainPassword(bool from_stdin) {
  std::string password;
  if (from_stdin) {
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
  } else {
    if (!isatty(STDIN_FILENO)) return std::nullopt;
    password = ReadLineNoEcho("New password: ");
    if (ReadLineNoEcho("Retype new password: ") != password) {
      throw AutomationError(-1, "the passwords do not match");
    }
  }
  if (password.empty()) throw AutomationError(-1, "the password is empty: give one that is not");
  return password;
}

// MEMBER as the command takes it: "account" of the computer, "DOMAIN/account", or a full path.
std::string MemberPath(const std::string& computer, const std::string& member) {
  if (member.starts_with("WinNT://")) return member;
  if (member.find('/') != std::string::npos) return "WinNT://" + member;
  return "WinNT://" + computer + "/" + member;
}

void PrintJson(const nlohmann::json& value) { std::cout << value.dump() << "\n"; }

void AddComputerCommands(CLI::App& app, const Context& ctx) {
  auto args = std::make_shared<Args>();
  CLI::App* computer = app.add_subcommand("computer", "account databases of computers or domains");
  computer->require_subcommand(1);

  CLI::App* add = computer->add_subcommand("add", "create an account database");
  add->add_option("NAME", args->name, "computer or domain name")->required();
  add->callback(Explained(args, ctx, [args, &ctx] {
    if (!OpenForCreate(ctx).CreateDatabase(args->name)) {
      throw AutomationError(-1, "account database " + args->name + " already exists");
    }
    std::cout << "Created account database " << args->name
              << " with groups Administrators and Users\n";
  }));

  CLI::App* list = computer->add_subcommand("list", "list account databases");
  list->add_flag("--json", args->json, "print JSON");
  list->callback(Explained(args, ctx, [args, &ctx] {
    auto names = OpenForRead(ctx).ListDatabases();
    if (args->json) {
      nlohmann::json out = nlohmann::json::array();
      for (const auto& n : names) out.push_back({{"name", n}});
      return PrintJson(out);
    }
    for (const auto& n : names) std::cout << n << "\n";
  }));

  CLI::App* del = computer->add_subcommand("del", "delete an account database and its accounts");
  del->add_option("NAME", args->name, "computer or domain name")->required();
  del->callback(Explained(args, ctx, [args, &ctx] {
    OpenForChange(ctx).DeleteDatabase(args->name);
    std::cout << "Deleted account database " << args->name << "\n";
  }));
}

void AddUserCommands(CLI::App& app, const Context& ctx) {
  auto args = std::make_shared<Args>();
  CLI::App* user = app.add_subcommand("user", "user accounts");
  user->require_subcommand(1);

  CLI::App* add = user->add_subcommand("add", "create a user (without group membership)");
  add->add_option("COMPUTER", args->computer, "account database")->required();
  add->add_option("NAME", args->name, "account name")->required();
  add->add_option("--full-name", args->full_name, "full name");
  add->add_option("--description", args->description, "description");
  add->add_flag("--password-stdin", args->password_stdin, "read the password from standard input");
  add->callback(Explained(args, ctx, [args, &ctx] {
    std::optional<std::string> password = ObtainPassword(args->password_stdin);
    OpenForChange(ctx).AddUser(args->computer, args->name, args->full_name, args->description,
                               password.value_or(""));
    std::cout << "Created user " << args->computer << "/" << args->name
              << (password.value_or("").empty() ? " (no password: cannot sign in)" : "") << "\n";
  }));

  CLI::App* list = user->add_subcommand("list", "list users");
  list->add_option("COMPUTER", args->computer, "account database")->required();
  list->add_flag("--json", args->json, "print JSON");
  list->callback(Explained(args, ctx, [args, &ctx] {
    auto snapshot = OpenForRead(ctx).Read(args->computer);
    nlohmann::json out = nlohmann::json::array();
    for (const AccountEntry& e : snapshot->accounts) {
      if (e.kind != AccountKind::kUser) continue;
      if (args->json) {
        out.push_back(
            {{"name", e.name}, {"full_name", e.full_name}, {"description", e.description}});
      } else {
        std::cout << e.name << "\t" << e.full_name << "\t" << e.description << "\n";
      }
    }
    if (args->json) PrintJson(out);
  }));

  CLI::App* del = user->add_subcommand("del", "delete a user and its memberships");
  del->add_option("COMPUTER", args->computer, "account database")->required();
  del->add_option("NAME", args->name, "account name")->required();
  del->callback(Explained(args, ctx, [args, &ctx] {
    OpenForChange(ctx).DeleteAccount(args->computer, AccountKind::kUser, args->name);
    std::cout << "Deleted user " << args->computer << "/" << args->name << "\n";
  }));

  CLI::App* passwd = user->add_subcommand("passwd", "set a user's password");
  passwd->add_option("COMPUTER", args->computer, "account database")->required();
  passwd->add_option("NAME", args->name, "account name")->required();
  passwd->add_flag("--password-stdin", args->password_stdin,
                   "read the password from standard input");
  passwd->callback(Explained(args, ctx, [args, &ctx] {
    std::optional<std::string> password = ObtainPassword(args->password_stdin);
    if (!password) {
      throw AutomationError(-1, "no password: use --password-stdin or run on a terminal");
    }
    OpenForChange(ctx).SetPassword(args->computer, args->name, *password);
    std::cout << "Password set for " << args->computer << "/" << args->name << "\n";
  }));
}

void AddGroupCommands(CLI::App& app, const Context& ctx) {
  auto args = std::make_shared<Args>();
  CLI::App* group = app.add_subcommand("group", "local groups and their members");
  group->require_subcommand(1);

  CLI::App* add = group->add_subcommand("add", "create a local group");
  add->add_option("COMPUTER", args->computer, "account database")->required();
  add->add_option("NAME", args->name, "group name")->required();
  add->add_option("--description", args->description, "description");
  add->callback(Explained(args, ctx, [args, &ctx] {
    OpenForChange(ctx).AddGroup(args->computer, args->name, args->description);
    std::cout << "Created group " << args->computer << "/" << args->name << "\n";
  }));

  CLI::App* list = group->add_subcommand("list", "list groups");
  list->add_option("COMPUTER", args->computer, "account database")->required();
  list->add_flag("--json", args->json, "print JSON");
  list->callback(Explained(args, ctx, [args, &ctx] {
    auto snapshot = OpenForRead(ctx).Read(args->computer);
    nlohmann::json out = nlohmann::json::array();
    for (const AccountEntry& e : snapshot->accounts) {
      if (e.kind != AccountKind::kGroup) continue;
      if (args->json) {
        out.push_back(
            {{"name", e.name}, {"description", e.description}, {"group_type", e.group_type}});
      } else {
        std::cout << e.name << "\t" << e.description << "\n";
      }
    }
    if (args->json) PrintJson(out);
  }));

  CLI::App* del = group->add_subcommand("del", "delete a group");
  del->add_option("COMPUTER", args->computer, "account database")->required();
  del->add_option("NAME", args->name, "group name")->required();
  del->callback(Explained(args, ctx, [args, &ctx] {
    OpenForChange(ctx).DeleteAccount(args->computer, AccountKind::kGroup, args->name);
    std::cout << "Deleted group " << args->computer << "/" << args->name << "\n";
  }));

  CLI::App* members = group->add_subcommand("members", "list a group's members");
  members->add_option("COMPUTER", args->computer, "account database")->required();
  members->add_option("GROUP", args->name, "group name")->required();
  members->add_flag("--json", args->json, "print JSON");
  members->callback(Explained(args, ctx, [args, &ctx] {
    auto snapshot = OpenForRead(ctx).Read(args->computer);
    const AccountEntry* g = snapshot->Find(args->name);
    if (g == nullptr || g->kind != AccountKind::kGroup) errors::kNerrGroupnotfound.Throw();
    nlohmann::json out = nlohmann::json::array();
    for (const auto& m : g->members) {
      if (args->json) {
        out.push_back({{"name", m.name}, {"path", m.Path(snapshot->name)}});
      } else {
        std::cout << m.name << "\t" << m.Path(snapshot->name) << "\n";
      }
    }
    if (args->json) PrintJson(out);
  }));

  CLI::App* addmember = group->add_subcommand("addmember", "add a member to a group");
  addmember->add_option("COMPUTER", args->computer, "account database")->required();
  addmember->add_option("GROUP", args->name, "group name")->required();
  addmember->add_option("MEMBER", args->member, "an account of COMPUTER, or DOMAIN/ACCOUNT")
      ->required();
  addmember->callback(Explained(args, ctx, [args, &ctx] {
    std::string path = MemberPath(args->computer, args->member);
    OpenForChange(ctx).AddMember(args->computer, args->name, path);
    std::cout << "Added " << path << " to " << args->computer << "/" << args->name << "\n";
  }));

  CLI::App* delmember = group->add_subcommand("delmember", "remove a member from a group");
  delmember->add_option("COMPUTER", args->computer, "account database")->required();
  delmember->add_option("GROUP", args->name, "group name")->required();
  delmember->add_option("MEMBER", args->member, "an account of COMPUTER, or DOMAIN/ACCOUNT")
      ->required();
  delmember->callback(Explained(args, ctx, [args, &ctx] {
    std::string path = MemberPath(args->computer, args->member);
    OpenForChange(ctx).RemoveMember(args->computer, args->name, path);
    std::cout << "Removed " << path << " from " << args->computer << "/" << args->name << "\n";
  }));
}

}  // namespace

void AddAccountCommands(CLI::App& app, const Context& ctx) {
  AddComputerCommands(app, ctx);
  AddUserCommands(app, ctx);
  AddGroupCommands(app, ctx);
}

}  // namespace brindlecore::cli
