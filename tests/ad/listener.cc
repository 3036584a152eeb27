#include "ad/listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace brindlecore::testing {
namespace {

int BoundSocket(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    throw std::runtime_error("cannot bind a loopback port");
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

int UnusedPort() {
  int port = 0;
  close(BoundSocket(&port));
  return port;
}

Listener::Listener(Mode mode) : mode_(mode) {
  fd_ = BoundSocket(&port_);
  listen(fd_, 16);
  thread_ = std::thread([this] { Serve(); });
}

Listener::~Listener() {
  stop_ = true;
  thread_.join();
  for (int fd : held_) close(fd);
  close(fd_);
}

// Silent connections are held open unread until the end, so the client waits on them.
void Listener::Serve() {
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int client = accept(fd_, nullptr, nullptr);
    if (client < 0) continue;
    ++connections_;
    if (mode_ == Mode::kClosing) {
      close(client);
    } else {
      held_.push_back(client);
    }
  }
}

}  // namespace brindlecore::testing
