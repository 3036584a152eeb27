// Serving the administration pages: sign-in, profile administrators, profile groups, users,
// import and web sites, each calling the component by name as a host page does.
#ifndef BRINDLECORE_HOST_SERVE_H_
#define BRINDLECORE_HOST_SERVE_H_

#include <functional>
#include <string>

#include "host/site_config.h"

namespace brindlecore::host {

// Serves the pages on `host`:`port` (port 0: any free port) until SIGINT or SIGTERM, over HTTPS
// when config.tls_cert is set. `on_listening` receives the bound port before the first request
// is accepted. Throws AutomationError, before listening, naming the certificate or key file that
// cannot be read or used, or the address and the reason it cannot be listened on.
void Serve(const SiteConfig& config, const std::string& host, int port,
           const std::function<void(int port)>& on_listening);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_SERVE_H_
