#include <gnutls/gnutls.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string_view>

#include "ad/dc.h"

namespace brindlecore::testing {
namespace {

// The BER the relay needs: one tag byte, definite lengths.
struct Tlv {
  unsigned char tag = 0;
  std::string body;
};

std::string Encode(unsigned char tag, std::string_view body) {
  std::string length;
  for (size_t n = body.size(); n > 0; n >>= 8) length.insert(length.begin(), char(n & 0xff));
  if (body.size() < 0x80) {
    length = std::string(1, char(body.size()));
  } else {
    length.insert(length.begin(), char(0x80 | length.size()));
  }
  return std::string(1, char(tag)) + length + std::string(body);
}

// Reads exactly n bytes; false at the end of the stream.
using ReadExactly = std::function<bool(char*, size_t)>;

bool ReadTlv(const ReadExactly& read, Tlv* out) {
  unsigned char head[2];
  if (!read(reinterpret_cast<char*>(head), 2)) return false;
  size_t length = head[1];
  if (length & 0x80) {
    unsigned char bytes[4];
    size_t count = length & 0x7f;
    if (count == 0 || count > sizeof bytes || !read(reinterpret_cast<char*>(bytes), count))
      return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | bytes[i];
  }
  out->tag = head[0];
  out->body.resize(length);
  return read(out->body.data(), length);
}

Tlv Next(std::string_view& in) {
  Tlv tlv;
  ReadTlv(
      [&](char* to, size_t n) {
        if (in.size() < n) throw std::runtime_error("truncated BER");
        std::copy_n(in.data(), n, to);
        in.remove_prefix(n);
        return true;
      },
      &tlv);
  return tlv;
}

// "member" or "member;range=L-*" holding more than a window's values becomes
// "member;range=L-(L+1499)" with that window's values.
std::string CapEntry(const std::string& message) {
  std::string_view in = message;
  std::string id = Encode(0x02, Next(in).body);
  Tlv op = Next(in);
  if (op.tag != 0x64) return Encode(0x30, message);  // not a search result entry
  std::string_view entry = op.body;
  std::string name = Encode(0x04, Next(entry).body);
  Tlv list = Next(entry);
  std::string_view attributes = list.body;
  std::string out;
  while (!attributes.empty()) {
    Tlv one = Next(attributes);
    std::string_view attribute = one.body;
    std::string type = Next(attribute).body;
    Tlv set_of = Next(attribute);
    std::string_view values = set_of.body;
    std::vector<std::string> kept;
    while (!values.empty()) kept.push_back(Next(values).body);
    const bool ranged = strncasecmp(type.c_str(), "member;range=", 13) == 0 && type.size() > 15 &&
                        type.compare(type.size() - 2, 2, "-*") == 0;
    const size_t low = ranged ? std::stoul(type.substr(13)) : 0;
    if ((strcasecmp(type.c_str(), "member") == 0 || ranged) && kept.size() > kMaxValRange) {
      type = "member;range=" + std::to_string(low) + "-" + std::to_string(low + kMaxValRange - 1);
      kept.resize(kMaxValRange);
    }
    std::string set;
    for (const std::string& v : kept) set += Encode(0x04, v);
    out += Encode(0x30, Encode(0x04, type) + Encode(0x31, set));
  }
  return Encode(0x30, id + Encode(0x64, name + Encode(0x30, out)) + std::string(in));
}

// A referral result for a search under the foreign base, else "".
std::string ReferralFor(const std::string& message, int port) {
  std::string_view in = message;
  std::string id = Encode(0x02, Next(in).body);
  Tlv op = Next(in);
  if (op.tag != 0x63) return "";
  std::string_view request = op.body;
  const std::string base = Next(request).body;
  const size_t n = std::strlen(kForeignBase);
  if (base.size() < n || strcasecmp(base.c_str() + base.size() - n, kForeignBase) != 0) return "";
  std::string url =
      "ldap://example.test:" + std::to_string(port) + "/CN=Configuration,DC=example,DC=test";
  std::string done =
      Encode(0x0a, "\x0a") + Encode(0x04, "") + Encode(0x04, "") + Encode(0xa3, Encode(0x04, url));
  return Encode(0x30, id + Encode(0x65, done));
}

bool SendAll(int fd, const std::string& data) {
  return send(fd, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

bool SendTls(gnutls_session_t tls, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    ssize_t n = gnutls_record_send(tls, data.data() + sent, data.size() - sent);
    if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Listener::Listener(Mode mode) : mode_(mode) {
  fd_ = ListenLoopback(&port_);
  thread_ = std::thread([this] { Serve(); });
}

Listener::~Listener() {
  stop_ = true;
  thread_.join();
  for (std::thread& relay : relays_) relay.join();
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
    } else if (mode_ == Mode::kRelay) {
      relays_.emplace_back([this, client] { Relay(client); });
    } else {
      held_.push_back(client);
    }
  }
}

// One client's messages go to the DC over TLS (it takes passwords only so) as they come, but
// for a search under the foreign base; the DC's entries come back capped.
void Listener::Relay(int client) {
  int up = ConnectLoopback(636);
  gnutls_certificate_credentials_t credentials = nullptr;
  gnutls_session_t tls = nullptr;
  gnutls_certificate_allocate_credentials(&credentials);
  gnutls_init(&tls, GNUTLS_CLIENT);
  gnutls_set_default_priority(tls);
  gnutls_credentials_set(tls, GNUTLS_CRD_CERTIFICATE, credentials);
  gnutls_transport_set_int(tls, up);
  // An entry and its search's end go out as two writes: without this the second waits for the
  // client's delayed acknowledgement of the first.
  int on = 1;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  setsockopt(up, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  bool open = up >= 0 && gnutls_handshake(tls) == GNUTLS_E_SUCCESS;
  ReadExactly from_client = [&](char* to, size_t n) {
    for (size_t got = 0; got < n;) {
      ssize_t r = recv(client, to + got, n - got, 0);
      if (r <= 0) return false;
      got += static_cast<size_t>(r);
    }
    return true;
  };
  ReadExactly from_dc = [&](char* to, size_t n) {
    for (size_t got = 0; got < n;) {
      ssize_t r = gnutls_record_recv(tls, to + got, n - got);
      if (r == GNUTLS_E_AGAIN || r == GNUTLS_E_INTERRUPTED) continue;
      if (r <= 0) return false;
      got += static_cast<size_t>(r);
    }
    return true;
  };
  while (open && !stop_) {
    pollfd p[2] = {{client, POLLIN, 0}, {up, POLLIN, 0}};
    if (gnutls_record_check_pending(tls) == 0 && poll(p, 2, 50) <= 0) continue;
    Tlv message;
    if (p[0].revents) {
      if (!ReadTlv(from_client, &message)) break;
      std::string referral = ReferralFor(message.body, port_);
      std::string raw = Encode(message.tag, message.body);
      open = referral.empty() ? SendTls(tls, raw) : SendAll(client, referral);
    } else {
      open = ReadTlv(from_dc, &message) && SendAll(client, CapEntry(message.body));
    }
  }
  gnutls_bye(tls, GNUTLS_SHUT_WR);
  gnutls_deinit(tls);
  gnutls_certificate_free_credentials(credentials);
  close(up);
  close(client);
}

}  // namespace brindlecore::testing
