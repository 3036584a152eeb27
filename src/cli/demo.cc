// The demo platform behind `make run`: accounts, web sites, their profile groups and a few
// memberships on the local computer. It seeds a new root only: once a root holds accounts, groups
// or sites of anyone's making, an admin may have removed or edited demo entries, and putting them
// back would undo that.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "host/component_call.h"
#include "host/served_computer.h"
#include "platform/directory/winnt/account_store.h"

namespace brindlecore::cli {
namespace {

using platform::winnt::AccountEntry;
using platform::winnt::AccountKind;
using platform::winnt::AccountStore;

// Documented in the README; a demo is for trying the pages, never for real accounts.
constexpr char kDemoPassword[] = "brindle-demo";

struct DemoUser {
  const char* name;
  const char* full_name;
  const char* description;
};

constexpr DemoUser kUsers[] = {
    {"admin", "Demo Administrator", "Server administrator of the demo"},
    {"alice", "Alice Archer", "Marketing"},
    {"bob", "Bob Baker", "Online shop"},
    {"carol", "Carol Chen", "Support desk"},
    {"dave", "Dave Dunn", "Sales"},
};

struct DemoSite {
  const char* ip;
  const char* port;
  const char* folder;
  const char* comment;
};

constexpr DemoSite kSites[] = {
    {"", "8081", "sales", "Sales"},
    {"127.0.0.1", "8082", "shop", "Shop"},
    {"", "8083", "support", "Support"},
};

// A step of the account store whose failure ends the demo, named as the command names it.
template <typename Step>
void StoreStep(std::string_view what, Step step) {
  try {
    step();
  } catch (const AutomationError& e) {
    throw AutomationError(-1, "demo: " + std::string(what) + ": " + e.description);
  }
}

// A component call whose failure ends the demo; `error_arg` is the index of its pvError.
host::CallOutcome Call(std::string_view method, std::vector<Arg> args, size_t error_arg) {
  host::CallOutcome o = host::CallComponent(method, std::move(args));
  if (o.error) {
    throw AutomationError(o.error->number,
                          "demo: " + std::string(method) + ": " + o.error->description);
  }
  if (!o.Text(error_arg).empty()) {
    throw AutomationError(-1, "demo: " + std::string(method) + ": " + o.Text(error_arg));
  }
  return o;
}

// Anything beyond what init makes: a user, a group other than the two built-in ones, a site.
bool HasData(AccountStore& store, const std::string& computer) {
  std::shared_ptr<const platform::winnt::DatabaseSnapshot> accounts;
  StoreStep("user list", [&] { accounts = store.Read(computer); });
  for (const AccountEntry& e : accounts->accounts) {
    if (e.kind == AccountKind::kUser || (e.name != "Administrators" && e.name != "Users")) {
      return true;
    }
  }
  return !Call("GetVirtualWebServers", {host::Out()}, 0).ResultText().empty();
}

void SetUpAccounts(AccountStore& store, const std::string& computer) {
  for (const DemoUser& u : kUsers) {
    StoreStep("user add",
              [&] { store.AddUser(computer, u.name, u.full_name, u.description, kDemoPassword); });
    std::cout << "demo: user " << u.name << " (" << u.full_name << "), password " << kDemoPassword
              << "\n";
  }
  StoreStep("group addmember",
            [&] { store.AddMember(computer, "Administrators", "WinNT://" + computer + "/admin"); });
  std::cout << "demo: admin is a member of Administrators\n";
}

void SetUpSites(const std::filesystem::path& root) {
  for (const DemoSite& site : kSites) {
    std::filesystem::path folder = root / "www" / site.folder;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "index.html")
        << "<!doctype html><title>" << site.comment << "</title><h1>" << site.comment
        << "</h1><p>Demo web site served from " << folder.string() << ".</p>\n";
    host::CallOutcome made = Call("CreateVirtualWebServer",
                                  {host::In(site.ip), host::In(site.port),
                                   host::In(folder.string()), host::In(site.comment), host::Out()},
                                  4);
    std::cout << "demo: web site " << made.ResultText() << " (" << site.comment << ") on "
              << site.ip << ":" << site.port << "\n";
  }
  std::filesystem::create_directories(root / "www" / "sales" / "reports");
  std::ofstream(root / "www/sales/reports/index.html")
      << "<!doctype html><title>Reports</title><h1>Sales reports</h1>\n";
  Call("CreateVirtualDir",
       {host::Out("1"), host::Out("reports"), host::Out((root / "www/sales/reports").string()),
        host::Out()},
       3);
  Call("StartVirtualWebServer", {host::Out("1"), host::Out()}, 1);
  std::cout << "demo: web site 1 started, with the virtual directory reports\n";
}

void SetUpGroups(const std::string& computer) {
  Call("GenerateGroups",
       {host::In(computer), host::In(""), host::In(""), host::In("false"), host::Out()}, 4);
  Call("AddExternalGroup",
       {host::In(computer), host::In(""), host::In(""), host::In("Sales and Shop together"),
        host::Out()},
       4);
  std::cout << "demo: multi-site group QZMULTI1\n";
  std::cout << "demo: profile groups QZW3SVC1 to QZW3SVC3 for the web sites\n";
}

void SetUpMemberships(const std::string& computer) {
  const std::pair<const char*, const char*> kMemberships[] = {
      {"QZW3SVC1", "alice"}, {"QZW3SVC2", "bob"}, {"QZW3SVC3", "carol"}, {"QZMULTI1", "carol"}};
  for (const auto& [group, user] : kMemberships) {
    Call("AddUserToGroup",
         {host::In("WinNT://" + computer), host::In(computer), host::In(user), host::In(group),
          host::Out()},
         4);
    std::cout << "demo: " << user << " is a profile administrator of " << group << "\n";
  }
}

}  // namespace

void SetUpDemo(const std::filesystem::path& root) {
  const std::string computer = host::ServedComputer(root);
  if (computer.empty()) throw AutomationError(-1, "no account database in " + root.string());
  AccountStore store(root, /*create=*/false);
  if (HasData(store, computer)) {
    std::cout << "demo: " << root.string() << " already holds accounts, groups or sites; the demo "
              << "changes nothing (it seeds a new root only)\n";
    return;
  }
  SetUpAccounts(store, computer);
  SetUpSites(root);
  SetUpGroups(computer);
  SetUpMemberships(computer);
  std::cout << "demo: sign in as admin (server administrator) or carol (profile administrator)"
            << " with the password " << kDemoPassword << "\n";
}

}  // namespace brindlecore::cli
