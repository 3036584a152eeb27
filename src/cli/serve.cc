#include <iostream>
#include <memory>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "host/server.h"
#include "platform/root.h"
#include "platform/web/web_server.h"

namespace brindlecore::cli {
namespace {

struct ListenAddress {
  std::string host;
  int port = 0;
};

ListenAddress ParseListen(const std::string& text) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
    throw CLI::ValidationError("--listen", "expected HOST:PORT, got " + text);
  }
  ListenAddress a;
  a.host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5 ||
      std::stoi(port) > 65535) {
    throw CLI::ValidationError("--listen", "bad port " + port);
  }
  a.port = std::stoi(port);
  return a;
}

}  // namespace

void AddServeCommand(CLI::App& app, const Context& ctx) {
  CLI::App* cmd = app.add_subcommand("serve", "Serve the administration pages");
  auto listen = std::make_shared<std::string>("127.0.0.1:8080");
  cmd->add_option("--listen", *listen, "HOST:PORT to listen on (port 0: any free port)")
      ->capture_default_str();
  cmd->callback([&ctx, listen] {
    ListenAddress address = ParseListen(*listen);
    host::SiteConfig config = host::LoadSiteConfig(ctx.Root());
    // Brings up the web server of the started sites, should it be down (after a reboot, say).
    try {
      platform::web::OpenServedMetabase(platform::PlatformConfig::Load(ctx.Root()), false);
    } catch (const AutomationError&) {
    }
    host::Serve(config, address.host, address.port, [&](int port) {
      std::cout << "Serving the administration pages of " << config.computer << " on http://"
                << address.host << ":" << port << "/" << std::endl;
    });
  });
}

}  // namespace brindlecore::cli
