#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "host/entry.h"
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
  // An IPv6 address comes in brackets, as in a URL; the socket wants it bare.
  if (a.host.size() > 2 && a.host.front() == '[' && a.host.back() == ']') {
    a.host = a.host.substr(1, a.host.size() - 2);
  }
  const std::string port = text.substr(colon + 1);
  if (port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5 ||
      std::stoi(port) > 65535) {
    throw CLI::ValidationError("--listen", "bad port " + port);
  }
  a.port = std::stoi(port);
  return a;
}

// The pages library, where the component is looked for: beside the executable (a build), else in
// ../lib/brindlecore (an installation). Stays loaded until the process ends.
BrindlecoreServePagesFn LoadPages() {
  const std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  std::filesystem::path path = dir / host::kPagesLibrary;
  if (!std::filesystem::exists(path)) {
    path = dir / ".." / "lib" / "brindlecore" / host::kPagesLibrary;
  }
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) throw std::runtime_error(dlerror());
  auto serve = reinterpret_cast<BrindlecoreServePagesFn>(dlsym(library, host::kServeEntry));
  if (serve == nullptr) throw std::runtime_error(dlerror());
  return serve;
}

}  // namespace

void AddServeCommand(CLI::App& app, const Context& ctx) {
  CLI::App* cmd = app.add_subcommand("serve", "Serve the administration pages");
  auto listen = std::make_shared<std::string>("127.0.0.1:8080");
  cmd->add_option("--listen", *listen,
                  "HOST:PORT to listen on ([ADDRESS]:PORT for IPv6; port 0: any free port)")
      ->capture_default_str();
  cmd->callback([&ctx, listen] {
    ListenAddress address = ParseListen(*listen);
    host::ServeRequest request;
    request.root = ctx.Root();
    request.host = address.host;
    request.port = address.port;
    // Brings up the web server of the started sites, should it be down (after a reboot, say).
    request.before_serving = [&] {
      try {
        platform::web::OpenServedMetabase(platform::PlatformConfig::Load(ctx.Root()), false);
      } catch (const AutomationError&) {
      }
    };
    request.on_listening = [&](const std::string& computer, int port, bool https) {
      std::cout << "Serving the administration pages of " << computer << " on "
                << (https ? "https://" : "http://") << host::HostPort(address.host, port) << "/"
                << std::endl;
    };
    LoadPages()(request);
  });
}

}  // namespace brindlecore::cli
