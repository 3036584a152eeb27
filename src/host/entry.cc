// The pages library's one entry point, looked up by name by `brindlecore serve`.
#include "host/entry.h"

#include "host/serve.h"

extern "C" void BrindlecoreServePages(const brindlecore::host::ServeRequest& request) {
  using namespace brindlecore::host;
  SiteConfig config = LoadSiteConfig(request.root);
  if (request.before_serving) request.before_serving();
  Serve(config, request.host, request.port,
        [&](int port) { request.on_listening(config.computer, port, !config.tls_cert.empty()); });
}
