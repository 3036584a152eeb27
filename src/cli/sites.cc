// `site add|list|show|del|start|stop` and `favorites list`: the web sites of the root's metabase
// and the favorites the pages added, for people and scripts.
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "platform/automation/errors.h"
#include "platform/directory/iis/metabase_store.h"
#include "platform/root.h"
#include "platform/shell/favorites.h"
#include "platform/web/web_server.h"

namespace brindlecore::cli {
namespace {

using ojson = nlohmann::ordered_json;
using platform::iis::MetabaseKey;
using platform::iis::MetabaseStore;

constexpr char kSiteClass[] = "IIsWebServer";

struct Service {
  std::filesystem::path root;
  std::shared_ptr<MetabaseStore> store;
  MetabaseKey key;
};

Service OpenService(const std::filesystem::path& root) {
  std::shared_ptr<MetabaseStore> store;
  try {
    // Changes made here reach the web server as the component's do.
    store = platform::web::OpenServedMetabase(platform::PlatformConfig::Load(root),
                                              /*create=*/false);
  } catch (const AutomationError&) {
    store = nullptr;
  }
  auto key = store ? store->Find({"W3SVC"}) : std::nullopt;
  if (!key) {
    throw AutomationError(-1, "no web service in " + root.string() + " (run 'brindlecore --root " +
                                  root.string() + " init')");
  }
  return {root, store, *key};
}

ojson ToJson(const Variant& value) {
  switch (value.type()) {
    case VarType::kBoolean:
      return value.boolean();
    case VarType::kInteger:
    case VarType::kLong:
      return static_cast<int32_t>(value.number());
    case VarType::kArray: {
      ojson items = ojson::array();
      for (const auto& item : value.array()) items.push_back(ConcatText(item));
      return items;
    }
    default:
      return ConcatText(value);
  }
}

ojson SiteSummary(MetabaseStore& store, const MetabaseKey& site) {
  auto comment = store.Property(site.id, "ServerComment");
  auto bindings = store.Property(site.id, "ServerBindings");
  auto state = store.Property(site.id, "ServerState");
  return ojson{{"number", site.name},
               {"class", site.cls},
               {"comment", comment ? ToJson(*comment) : ojson("")},
               {"bindings", bindings ? ToJson(*bindings) : ojson::array()},
               {"state", state && *state == Variant(int32_t{2}) ? "started" : "stopped"}};
}

ojson KeyTree(MetabaseStore& store, const MetabaseKey& key, bool with_name) {
  ojson node;
  if (with_name) {
    node["name"] = key.name;
  } else {
    node["path"] = key.path;
  }
  node["class"] = key.cls;
  ojson properties = ojson::object();
  for (const auto& [name, value] : store.Properties(key.id)) properties[name] = ToJson(value);
  node["properties"] = properties;
  ojson children = ojson::array();
  for (const auto& child : store.Children(key.id)) children.push_back(KeyTree(store, child, true));
  node["children"] = children;
  return node;
}

MetabaseKey FindSite(const Service& service, const std::string& number) {
  auto site = service.store->Find({"W3SVC", number});
  if (!site || site->cls != kSiteClass) {
    throw AutomationError(-1, "no site " + number + " in " + service.root.string());
  }
  return *site;
}

// Site numbers are read leniently here (a non-numeric name is passed over) since the command
// only needs a number that is not in use, and numbers never collide with such names.
int32_t NextSiteNumber(MetabaseStore& store, const MetabaseKey& service) {
  int64_t highest = 0;
  for (const auto& child : store.Children(service.id)) {
    if (!child.cls.starts_with("IIs") || !child.cls.ends_with("Server")) continue;
    try {
      highest = std::max<int64_t>(highest, ToLong(Variant(child.name)));
    } catch (const AutomationError&) {
    }
  }
  if (highest >= std::numeric_limits<int32_t>::max()) errors::kRtOverflow.Throw();
  return static_cast<int32_t>(highest + 1);
}

std::string ValidBinding(const std::string& binding) {
  size_t first = binding.find(':');
  size_t second = first == std::string::npos ? first : binding.find(':', first + 1);
  std::string port =
      second == std::string::npos ? "" : binding.substr(first + 1, second - first - 1);
  bool digits = !port.empty() && port.size() <= 5 &&
                port.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || std::stoi(port) < 1 || std::stoi(port) > 65535) {
    return "binding '" + binding + "' is not IP:PORT:HOST with a port from 1 to 65535";
  }
  return "";
}

struct AddOptions {
  std::optional<int32_t> number;
  std::string comment;
  std::vector<std::string> bindings;
  std::optional<std::string> path;
};

// The same settings the pages give a new site and its root directory.
void FillSite(MetabaseStore& store, const MetabaseKey& site, const AddOptions& options) {
  store.SetProperties(site.id,
                      {{"ServerComment", Variant(options.comment)},
                       {"ServerBindings",
                        Variant::Strings(options.bindings.empty() ? std::vector<std::string>{":80:"}
                                                                  : options.bindings)}});
  if (!options.path) return;
  auto root = store.CreateChild(site.id, "IIsWebVirtualDir", "ROOT");
  store.SetProperties(root.id, {{"AccessRead", Variant(true)},
                                {"AccessScript", Variant(true)},
                                {"Path", Variant(*options.path)},
                                {"AspEnableParentPaths", Variant(true)},
                                {"AppIsolated", Variant(int32_t{2})},
                                {"AppRoot", Variant(root.metabase_path)},
                                {"AppFriendlyName", Variant("Default Application")}});
}

void AddSite(const Context& ctx, const AddOptions& options) {
  Service service = OpenService(ctx.ExistingRoot());
  int32_t number = options.number ? *options.number : NextSiteNumber(*service.store, service.key);
  std::string name = std::to_string(number);
  std::optional<MetabaseKey> made;
  try {
    made = service.store->CreateChild(service.key.id, kSiteClass, name);
  } catch (const AutomationError& e) {
    if (e.number != errors::kErrorAlreadyExists.number) throw;
    throw AutomationError(-1, "site " + name + " already exists");
  }
  const MetabaseKey& site = *made;
  // Unlike the pages, a person at the command line gets all or nothing.
  try {
    FillSite(*service.store, site, options);
  } catch (...) {
    try {
      service.store->DeleteChild(service.key.id, kSiteClass, name);
    } catch (const AutomationError&) {
    }
    throw;
  }
  std::cout << "Created web site " << name << "\n";
}

void ListSites(const Context& ctx, bool json) {
  Service service = OpenService(ctx.ExistingRoot());
  ojson sites = ojson::array();
  for (const auto& child : service.store->Children(service.key.id)) {
    if (child.cls == kSiteClass) sites.push_back(SiteSummary(*service.store, child));
  }
  if (json) {
    std::cout << sites.dump() << "\n";
    return;
  }
  for (const auto& site : sites) {
    std::string bindings;
    for (const auto& b : site["bindings"])
      bindings += (bindings.empty() ? "" : " ") + b.get<std::string>();
    std::cout << site["number"].get<std::string>() << "\t" << site["state"].get<std::string>()
              << "\t" << site["comment"].get<std::string>() << "\t" << bindings << "\n";
  }
}

void ListFavorites(const Context& ctx, bool json) {
  auto favorites = platform::ListFavorites(ctx.ExistingRoot() / "favorites");
  if (json) {
    ojson list = ojson::array();
    for (const auto& f : favorites) list.push_back({{"title", f.title}, {"url", f.url}});
    std::cout << list.dump() << "\n";
    return;
  }
  for (const auto& f : favorites) std::cout << f.title << "\t" << f.url << "\n";
}

}  // namespace

void AddSiteCommands(CLI::App& app, const Context& ctx) {
  auto* site = app.add_subcommand("site", "web sites of the metabase");
  site->require_subcommand(1);

  auto options = std::make_shared<AddOptions>();
  auto* add = site->add_subcommand("add", "create a web site (stopped)");
  add->add_option("--number", options->number, "site number (default: highest + 1)")
      ->check(CLI::Range(1, std::numeric_limits<int32_t>::max()));
  add->add_option("--comment", options->comment, "descriptive name (ServerComment)");
  add->add_option("--binding", options->bindings, "IP:PORT:HOST, repeatable (default :80:)")
      ->check(CLI::Validator(ValidBinding, "IP:PORT:HOST"));
  add->add_option("--path", options->path, "folder of the root directory");
  add->callback([&ctx, options] { AddSite(ctx, *options); });

  auto list_json = std::make_shared<bool>(false);
  auto* list = site->add_subcommand("list", "list web sites in metabase order");
  list->add_flag("--json", *list_json, "JSON output");
  list->callback([&ctx, list_json] { ListSites(ctx, *list_json); });

  auto number = std::make_shared<std::string>();
  auto* show = site->add_subcommand("show", "a web site with every stored property, as JSON");
  show->add_option("N", *number, "site number")->required();
  show->add_flag("--json")->description("JSON output (the only form)");
  show->callback([&ctx, number] {
    Service service = OpenService(ctx.ExistingRoot());
    std::cout << KeyTree(*service.store, FindSite(service, *number), false).dump() << "\n";
  });

  auto del_number = std::make_shared<std::string>();
  auto* del = site->add_subcommand("del", "delete a web site with its directories");
  del->add_option("N", *del_number, "site number")->required();
  del->callback([&ctx, del_number] {
    Service service = OpenService(ctx.ExistingRoot());
    FindSite(service, *del_number);
    service.store->DeleteChild(service.key.id, kSiteClass, *del_number);
    std::cout << "Deleted web site " << *del_number << "\n";
  });

  // ServerState as the web server keeps it: 2 started (served), 4 stopped.
  for (const auto& [verb, state] : {std::pair{"start", 2}, std::pair{"stop", 4}}) {
    auto state_number = std::make_shared<std::string>();
    auto* command = site->add_subcommand(verb, std::string(verb) + " serving a web site");
    command->add_option("N", *state_number, "site number")->required();
    command->callback([&ctx, state_number, verb = std::string(verb), state = state] {
      Service service = OpenService(ctx.ExistingRoot());
      MetabaseKey key = FindSite(service, *state_number);
      service.store->SetProperties(key.id, {{"ServerState", Variant(int32_t{state})}});
      std::cout << (verb == "start" ? "Started" : "Stopped") << " web site " << *state_number
                << "\n";
    });
  }

  auto* favorites = app.add_subcommand("favorites", "favorites added by the pages");
  favorites->require_subcommand(1);
  auto favorites_json = std::make_shared<bool>(false);
  auto* favorites_list = favorites->add_subcommand("list", "list favorites by title");
  favorites_list->add_flag("--json", *favorites_json, "JSON output");
  favorites_list->callback([&ctx, favorites_json] { ListFavorites(ctx, *favorites_json); });
}

}  // namespace brindlecore::cli
