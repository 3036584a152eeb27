// nginx configuration text for the started sites, and for a master brindlecore runs itself.
// Pure functions: nothing here touches a file or a process.
#ifndef BRINDLECORE_PLATFORM_WEB_NGINX_CONFIG_H_
#define BRINDLECORE_PLATFORM_WEB_NGINX_CONFIG_H_

#include <filesystem>
#include <string>
#include <vector>

#include "platform/web/web_server.h"

namespace brindlecore::platform::web {

// One "IP:Port:Host" binding as nginx listens for it. An empty IP (or "*", "0.0.0.0") is every
// IPv4 address; an IPv6 address is written in brackets. The host is kept in lower case.
struct Binding {
  std::string address;  // "127.0.0.1:8080", "0.0.0.0:80", "[::1]:443"
  std::string host;     // "" for the default server of that address
};

// E_INVALIDARG when the text is not IP:Port:Host with a valid address, a port from 1 to 65535
// and a host name of letters, digits, ".", "-" and "_".
Binding ParseBinding(const std::string& text);

// Server blocks for `sites`: one per site and address, with the site's host names there; the
// root directory as `root`, virtual directories as `alias`; a directory without read access
// answers 403. An address where every site needs a host name gets a default server that
// answers 400, so a host-name binding answers only for its host.
// Throws E_INVALIDARG for a bad binding, ERROR_INVALID_NAME for a folder that is not absolute
// or a folder or directory name nginx could read as something else (quotes, backslashes, "$",
// control characters), ERROR_ALREADY_EXISTS for an address and host two sites both claim.
std::string RenderSites(const std::vector<WebSite>& sites);

// The addresses a RenderSites text listens on, each once.
std::vector<std::string> ListenAddresses(const std::string& rendered);

// The paths of a master brindlecore runs itself: logs, pid, temporary files under `prefix`.
struct MasterLayout {
  std::filesystem::path prefix;
  std::filesystem::path sites_file;  // the RenderSites text it includes
  std::string user;                  // workers' user; empty: the master's own
};

// nginx.conf for such a master. ERROR_INVALID_NAME for a path nginx could misread.
std::string RenderMaster(const MasterLayout& layout);

}  // namespace brindlecore::platform::web

#endif  // BRINDLECORE_PLATFORM_WEB_NGINX_CONFIG_H_
