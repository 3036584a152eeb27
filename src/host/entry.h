// How `brindlecore serve` reaches the administration pages: they live in a library of their own
// (with the web server stack they need), loaded with dlopen by `serve` alone and entered through
// one C-named function, so no other run of the command loads that stack.
#ifndef BRINDLECORE_HOST_ENTRY_H_
#define BRINDLECORE_HOST_ENTRY_H_

#include <filesystem>
#include <functional>
#include <string>

namespace brindlecore::host {

inline constexpr char kPagesLibrary[] = "libbrindlecorehost.so";
inline constexpr char kServeEntry[] = "BrindlecoreServePages";

struct ServeRequest {
  std::filesystem::path root;
  std::string host;
  int port = 0;  // 0: any free port
  // Runs once the site configuration is loaded, before the pages listen.
  std::function<void()> before_serving;
  // Receives the computer served, the bound port and whether it speaks HTTPS, before the first
  // request is accepted.
  std::function<void(const std::string& computer, int port, bool https)> on_listening;
};

// "host:port" as an address is written in a URL: an IPv6 host in brackets, or its last group
// would read as the port.
inline std::string HostPort(const std::string& host, int port) {
  const std::string shown = host.find(':') == std::string::npos ? host : "[" + host + "]";
  return shown + ":" + std::to_string(port);
}

}  // namespace brindlecore::host

// Loads the site configuration of `request.root` and serves the pages until SIGINT or SIGTERM.
// Throws AutomationError as host::LoadSiteConfig and host::Serve do.
extern "C" void BrindlecoreServePages(const brindlecore::host::ServeRequest& request);
using BrindlecoreServePagesFn = void (*)(const brindlecore::host::ServeRequest&);

#endif  // BRINDLECORE_HOST_ENTRY_H_
