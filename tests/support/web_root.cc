#include "support/web_root.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/default_platform.h"
#include "platform/directory/iis/metabase_store.h"
#include "platform/web/process.h"

namespace brindlecore::testing {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

}  // namespace

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

int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t length = sizeof(a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
  close(s);
  return ntohs(a.sin_port);
}

int ConnectLoopback(int port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) return s;
  close(s);
  return -1;
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
  for (int i = 0; i < 5000 && platform::web::RunningNginx(pid_file) == master; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace brindlecore::testing
