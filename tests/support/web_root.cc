#include "support/web_root.h"

#include <httplib.h>

#include <fstream>

#include "platform/default_platform.h"
#include "platform/directory/iis/metabase_store.h"
#include "platform/web/process.h"

namespace brindlecore::testing {

HttpAnswer HttpGet(int port, const std::string& path, const std::string& host) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(5, 0);
  const httplib::Result answer = client.Get(path, {{"Host", host}});
  return answer ? HttpAnswer{answer->status, answer->body} : HttpAnswer{};
}

WebRoot::WebRoot(const std::string& conf) {
  std::ofstream(dir_.path() / "platform.conf") << "web.server = nginx\n" << conf;
  platform::iis::InitializeWebService(dir_.path());
  Reopen();
}

WebRoot::~WebRoot() {
  platform_.reset();
  StopNginx();
}

void WebRoot::Reopen() { platform_ = platform::MakePlatform(dir_.path()); }

std::filesystem::path WebRoot::Folder(const std::string& name, const std::string& file,
                                      const std::string& text) {
  std::filesystem::path folder = dir_.path() / "www" / name;
  std::filesystem::create_directories(folder);
  std::ofstream(folder / file) << text;
  return folder;
}

void WebRoot::StopNginx() {
  const auto pid_file = dir_.path() / "nginx/run/nginx.pid";
  pid_t master = platform::web::RunningNginx(pid_file);
  if (master == 0) return;
  kill(master, SIGTERM);
  WaitUntil([&] { return platform::web::RunningNginx(pid_file) != master; }, 5);
}

}  // namespace brindlecore::testing
