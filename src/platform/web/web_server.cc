#include "platform/web/web_server.h"

#include <strings.h>

#include "platform/automation/errors.h"
#include "platform/web/nginx_server.h"

namespace brindlecore::platform::web {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

const Variant* Find(const iis::MetabaseNode& node, const std::string& name) {
  for (const auto& [key, value] : node.properties) {
    if (SameName(key, name)) return &value;
  }
  return nullptr;
}

const iis::MetabaseNode* Child(const iis::MetabaseNode& node, const std::string& name) {
  for (const auto& child : node.children) {
    if (SameName(child.key.name, name)) return &child;
  }
  return nullptr;
}

// A directory without AccessRead of its own reads as its parent does; the site's root reads
// unless told otherwise, as the service's default says.
void AddDirectories(const iis::MetabaseNode& node, const std::string& url_path, bool parent_read,
                    std::vector<WebDirectory>& out) {
  WebDirectory directory;
  directory.url_path = url_path;
  if (const Variant* path = Find(node, "Path"); path && path->IsString()) {
    directory.folder = path->str();
  }
  const Variant* read = Find(node, "AccessRead");
  directory.read = read && read->IsBoolean() ? read->boolean() : parent_read;
  out.push_back(directory);
  for (const auto& child : node.children) {
    if (child.key.cls != "IIsWebVirtualDir") continue;
    AddDirectories(child, url_path + child.key.name + "/", directory.read, out);
  }
}

std::vector<std::string> Bindings(const Variant* value) {
  if (!value) return {};
  if (!value->IsArray()) return {ConcatText(*value)};
  std::vector<std::string> out;
  for (const auto& item : value->array()) out.push_back(ToText(item));
  return out;
}

}  // namespace

std::vector<WebSite> StartedSites(const iis::MetabaseNode& machine) {
  std::vector<WebSite> sites;
  const iis::MetabaseNode* service = Child(machine, "W3SVC");
  if (!service) return sites;
  for (const auto& node : service->children) {
    if (node.key.cls != "IIsWebServer") continue;
    const Variant* state = Find(node, "ServerState");
    if (!state || *state != Variant(int32_t{2})) continue;
    WebSite site;
    site.number = node.key.name;
    site.bindings = Bindings(Find(node, "ServerBindings"));
    if (const iis::MetabaseNode* root = Child(node, "ROOT")) {
      AddDirectories(*root, "/", true, site.directories);
    } else {
      site.directories.push_back({"/", "", true});
    }
    sites.push_back(std::move(site));
  }
  return sites;
}

std::unique_ptr<WebServer> MakeWebServer(const PlatformConfig& config) {
  const std::string kind = config.Get("web.server", "none");
  if (kind == "none") return nullptr;
  if (kind == "nginx") return MakeNginxServer(config);
  throw AutomationError(errors::kEInvalidarg.number,
                        "platform.conf: web.server must be nginx or none, not '" + kind + "'");
}

std::shared_ptr<iis::MetabaseStore> OpenServedMetabase(const PlatformConfig& config, bool create) {
  auto store = iis::MetabaseStore::Open(config.root, create);
  std::shared_ptr<WebServer> server = MakeWebServer(config);
  if (!server) return store;
  // A server that cannot come up now is not the reader's failure: the next change retries it
  // and reports why.
  try {
    server->EnsureRunning(StartedSites(store->Snapshot()));
  } catch (const AutomationError&) {
  }
  store->SetCommitHook(
      [server](const iis::MetabaseNode& machine) { server->Apply(StartedSites(machine)); });
  return store;
}

}  // namespace brindlecore::platform::web
