// The web server that serves what the metabase describes. The metabase stays the source of
// truth: every change to it is shown to the web server before it is committed, and a change the
// web server cannot take is refused with the reason as a catalogue error.
//
// Configuration (platform.conf):
//   web.server          nginx | none (default none: the metabase alone, nothing served)
//   web.nginx.binary    default /usr/sbin/nginx
//   web.nginx.conf_dir  system mode: a folder the system nginx's http block includes (*.conf);
//                       without it brindlecore runs its own nginx master (managed mode)
//   web.nginx.pid_file  system mode: the pid file of the system nginx (default /run/nginx.pid)
//   web.nginx.prefix    managed mode: the master's prefix (default ROOT/nginx)
//   web.nginx.user      managed mode run as root: the workers' user (default root's own name,
//                       so they read what the caller can read)
#ifndef BRINDLECORE_PLATFORM_WEB_WEB_SERVER_H_
#define BRINDLECORE_PLATFORM_WEB_WEB_SERVER_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/directory/iis/metabase_store.h"
#include "platform/root.h"

namespace brindlecore::platform::web {

// A folder published under a URL path of a site ("/" for the site's root, "/reports/" for a
// virtual directory). An empty folder publishes nothing (404).
struct WebDirectory {
  std::string url_path;
  std::string folder;
  bool read = true;  // false: refused with 403
};

// A started site: its number, its raw "IP:Port:Host" bindings, and its directories, root first.
struct WebSite {
  std::string number;
  std::vector<std::string> bindings;
  std::vector<WebDirectory> directories;
};

class WebServer {
 public:
  virtual ~WebServer() = default;
  // Serves exactly `sites` from now on. Throws AutomationError when the server refuses them
  // (the error says why); what was served before is then still served.
  virtual void Apply(const std::vector<WebSite>& sites) = 0;
  // Serves `sites` if the server is down and ours to start (managed mode); else does nothing.
  virtual void EnsureRunning(const std::vector<WebSite>& sites) = 0;
};

// The web server platform.conf names, or nullptr for `web.server = none`. E_INVALIDARG for
// another value.
std::unique_ptr<WebServer> MakeWebServer(const PlatformConfig& config);

// The started sites (ServerState 2) of the web service below `machine`, in metabase order.
std::vector<WebSite> StartedSites(const iis::MetabaseNode& machine);

// Opens root/metabase.db like iis::MetabaseStore::Open and, when platform.conf names a web server,
// drives it from every change and brings it up if it is down.
std::shared_ptr<iis::MetabaseStore> OpenServedMetabase(const PlatformConfig& config, bool create);

}  // namespace brindlecore::platform::web

#endif  // BRINDLECORE_PLATFORM_WEB_WEB_SERVER_H_
