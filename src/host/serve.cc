// Serving the pages: the listening socket, its limits and signals, and the routes.
#include "host/serve.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "brindlecore/automation.h"
#include "host/assets.h"
#include "host/entry.h"
#include "host/limits.h"
#include "host/request_log.h"
#include "host/site.h"
#include "host/worker_pool.h"

namespace brindlecore::host {

std::string HostName(const std::string& host_header) {
  if (!host_header.empty() && host_header.front() == '[') {
    return host_header.substr(1, host_header.find(']') - 1);
  }
  return host_header.substr(0, host_header.find(':'));
}

bool IsLoopbackName(const std::string& name) {
  return name == "localhost" || name == "::1" || name.rfind("127.", 0) == 0;
}

namespace {

// Opens `file` once, so that a file the server cannot use is named before anything listens.
void CheckReadable(const char* key, const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int why = errno;
    throw AutomationError(
        -1, std::string("cannot read ") + key + " " + file + ": " + std::strerror(why));
  }
  ::close(fd);
}

// An HTTPS server with the configured certificate and key, else a plain one. cpp-httplib and
// OpenSSL come with the pages' library, which only `serve` loads.
std::unique_ptr<httplib::Server> MakeServer(const SiteConfig& config) {
  if (config.tls_cert.empty()) return std::make_unique<httplib::Server>();
  CheckReadable("serve.tls_cert", config.tls_cert);
  CheckReadable("serve.tls_key", config.tls_key);
  auto server =
      std::make_unique<httplib::SSLServer>(config.tls_cert.c_str(), config.tls_key.c_str());
  if (!server->is_valid()) {
    throw AutomationError(-1, "serve.tls_cert " + config.tls_cert + " and serve.tls_key " +
                                  config.tls_key +
                                  " are not a certificate chain and its private key (PEM)");
  }
  return server;
}

}  // namespace

void Serve(const SiteConfig& config, const std::string& host, int port,
           const std::function<void(int port)>& on_listening) {
  // Signals are taken by one waiting thread, so the server stops cleanly between requests.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<httplib::Server> owned_server = MakeServer(config);
  httplib::Server& server = *owned_server;
  AdminSite site(config);
  site.Mount(server);
  const bool loopback_only = IsLoopbackName(host);
  server.set_pre_routing_handler(
      [loopback_only](const httplib::Request& req, httplib::Response& res) {
        CurrentRequest().start = std::chrono::steady_clock::now();
        // A page of another site that rebinds its own name to our address must not reach us.
        if (!loopback_only || IsLoopbackName(HostName(req.get_header_value("Host")))) {
          return httplib::Server::HandlerResponse::Unhandled;
        }
        res.status = 421;
        res.set_content("This server answers only to its loopback address.",
                        "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
      });
  server.set_logger(LogRequest);
  server.set_payload_max_length(4 * 1024 * 1024);
  // A client gets 10 s for each read and write, 5 s to start its next request on a kept-alive
  // connection, and 100 requests on one connection; each connection has its own worker, so a
  // slow one holds only itself.
  server.set_read_timeout(10, 0);
  server.set_write_timeout(10, 0);
  server.set_keep_alive_timeout(5);
  server.set_keep_alive_max_count(100);
  const size_t max_workers = config.max_workers;
  server.new_task_queue = [max_workers] { return new ElasticPool(max_workers); };
  int listen_fd = -1;
  // cpp-httplib's default adds SO_REUSEPORT, with which a second server on our port would start
  // and take half the connections, each process knowing only its own sessions. SO_REUSEADDR
  // alone lets a restart bind while the old connections linger, and no one share the port.
  server.set_socket_options([&listen_fd](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    listen_fd = sock;
  });

  errno = 0;
  int bound =
      port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  if (bound < 0) {
    // cpp-httplib closes the socket and frees the address list after a failed bind, neither of
    // which sets errno: it still says why bind (or the address look-up) failed.
    const int why = errno;
    throw AutomationError(-1, "cannot listen on " + HostPort(host, port) + ": " +
                                  (why != 0 ? std::strerror(why) : "no such address"));
  }
  // cpp-httplib listens with a backlog of 5: a burst of connections would find the queue full
  // and wait for their SYN to be sent again. Listening again only enlarges the queue.
  if (listen_fd >= 0) ::listen(listen_fd, SOMAXCONN);
  std::thread stopper([&server, stop_signals] {
    int sig = 0;
    sigwait(&stop_signals, &sig);
    server.stop();
  });
  on_listening(bound);
  server.listen_after_bind();
  // Wakes the waiting thread when the server ended for another reason.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
}

void AdminSite::Mount(httplib::Server& server) {
  auto bind = [this](void (AdminSite::*page)(const Request&, Response&)) {
    return [this, page](const Request& req, Response& res) {
      // Oversized values are refused before any page, and so the component, sees them.
      if (std::string refusal = OversizedField(req); !refusal.empty()) {
        Refuse(req, res, refusal);
        return;
      }
      // A page that shows what its query says (a group to pick for, a description to edit)
      // must not be opened by another origin, another port of this host included.
      if (req.method == "GET" && !req.params.empty() && IsCrossSite(req)) {
        RefuseCrossSite(res);
        return;
      }
      (this->*page)(req, res);
    };
  };
  server.Get("/", [this](const Request& req, Response& res) {
    res.set_redirect(sessions_.Find(SessionIdOf(req)) ? "Default.asp" : "login.asp", 303);
  });
  server.Get("/login.asp", bind(&AdminSite::LoginForm));
  server.Post("/login.asp", bind(&AdminSite::Login));
  server.Post("/logout.asp", bind(&AdminSite::Logout));
  server.Get("/Default.asp", bind(&AdminSite::Home));
  server.Get("/ProfileAdministrators.asp", bind(&AdminSite::ProfileAdministrators));
  server.Post("/AddUser.asp", bind(&AdminSite::AddUser));
  server.Get("/UserDelete.asp", bind(&AdminSite::UserDeleteForm));
  server.Post("/UserDelete.asp", bind(&AdminSite::UserDelete));
  server.Get("/Members.asp", bind(&AdminSite::Members));
  server.Get("/Groups.asp", bind(&AdminSite::Groups));
  server.Get("/editGroup.asp", bind(&AdminSite::EditGroupForm));
  server.Post("/editGroup.asp", bind(&AdminSite::EditGroup));
  server.Post("/AddExternalGroup.asp", bind(&AdminSite::AddExternalGroup));
  server.Post("/GenerateGroups.asp", bind(&AdminSite::GenerateGroups));
  server.Get("/Users.asp", bind(&AdminSite::Users));
  server.Get("/Import.asp", bind(&AdminSite::ImportForm));
  server.Post("/Import.asp", bind(&AdminSite::Import));
  server.Get("/Sites.asp", bind(&AdminSite::Sites));
  server.Post("/CreateSite.asp", bind(&AdminSite::CreateSite));
  server.Post("/StartSite.asp", bind(&AdminSite::StartSite));
  server.Post("/CreateDir.asp", bind(&AdminSite::CreateDir));
  server.Post("/AddFavorite.asp", bind(&AdminSite::AddFavorite));
  server.Get(R"(/(style\.css|app\.js|favicon\.ico|images/\w+\.gif))",
             [](const Request& req, Response& res) {
               const Asset* asset = FindAsset(req.path);
               if (asset == nullptr) {
                 res.status = 404;
                 return;
               }
               res.set_header("Cache-Control", "max-age=3600");
               res.set_header("X-Content-Type-Options", "nosniff");
               res.set_content(std::string(asset->body), std::string(asset->content_type).c_str());
             });
  // cpp-httplib itself refuses an oversized form (413), a malformed request or an address no
  // route takes (404) with no text.
  server.set_error_handler([this](const Request& req, Response& res) {
    if (!res.body.empty()) return;
    if (res.status == 404) {
      NotFound(req, res);
      return;
    }
    res.set_content(res.status == 413 ? "The request is too large." : "The request was refused.",
                    "text/plain; charset=utf-8");
  });
  server.set_exception_handler([](const Request&, Response& res, std::exception_ptr ep) {
    std::string what = "unexpected failure";
    try {
      std::rethrow_exception(ep);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    res.status = 500;
    res.set_header("Content-Security-Policy", "default-src 'none'");
    res.set_content("<!DOCTYPE html><title>Error</title><p>" + Escape(what) + "</p>",
                    "text/html; charset=utf-8");
  });
}
}  // namespace brindlecore::host
