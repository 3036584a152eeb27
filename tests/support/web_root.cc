#include "support/web_root.h"

#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "platform/default_platform.h"
#include "platform/directory/iis/metabase_store.h"
#include "platform/web/process.h"

namespace brindlecore::testing {

HttpAnswer HttpGet(int port, const std::string& path, const std::string& host) {
  HttpAnswer answer;
  int s = ConnectLoopback(port);
  if (s < 0) return answer;
  timeval timeout{5, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
  std::string reply;
  if (send(s, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
    char buffer[4096];
    for (ssize_t n; (n = recv(s, buffer, sizeof(buffer), 0)) > 0;) reply.append(buffer, n);
  }
  close(s);
  if (!reply.starts_with("HTTP/1.")) return answer;
  answer.status = std::stoi(reply.substr(9, 3));
  size_t body = reply.find("\r\n\r\n");
  if (body != std::string::npos) answer.body = reply.substr(body + 4);
  return answer;
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
