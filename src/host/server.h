// The administration pages: sign-in, profile administrators, profile groups, users, import and
// web sites, each calling the component by name as a host page does.
#ifndef BRINDLECORE_HOST_SERVER_H_
#define BRINDLECORE_HOST_SERVER_H_

#include <filesystem>
#include <functional>
#include <string>

namespace brindlecore::host {

struct SiteConfig {
  // The local computer whose account database holds the profile groups.
  std::string computer;
  // The group whose members are server administrators.
  std::string admin_group = "Administrators";
};

// platform.conf's host.computer (else the root's first account database) and host.admin_group.
// Throws AutomationError when no computer can be found.
SiteConfig LoadSiteConfig(const std::filesystem::path& root);

// Serves the pages on `host`:`port` (port 0: any free port) until SIGINT or SIGTERM.
// `on_listening` receives the bound port before the first request is accepted.
void Serve(const SiteConfig& config, const std::string& host, int port,
           const std::function<void(int port)>& on_listening);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_SERVER_H_
