#include "host/server.h"

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "brindlecore/automation.h"
#include "host/assets.h"
#include "host/limits.h"
#include "host/self_command.h"
#include "host/site.h"
#include "host/worker_pool.h"
#include "platform/root.h"

namespace brindlecore::host {

namespace {

std::string TrimmedText(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A whole non-negative number of platform.conf, at least `least`; `fallback` when absent.
long ConfNumber(const platform::PlatformConfig& conf, const std::string& key, long fallback,
                long least = 0) {
  const std::string text = conf.Get(key);
  if (text.empty()) return fallback;
  if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stol(text) < least) {
    throw AutomationError(-1, "platform.conf " + key + ": expected a whole number of at least " +
                                  std::to_string(least) + ", got \"" + text + "\"");
  }
  return std::stol(text);
}

}  // namespace

SiteConfig LoadSiteConfig(const std::filesystem::path& root) {
  platform::PlatformConfig conf = platform::PlatformConfig::Load(root);
  SiteConfig config;
  config.admin_group = conf.Get("host.admin_group", "Administrators");
  config.computer = conf.Get("host.computer");
  if (config.computer.empty()) {
    // The account store belongs to the command; its listing is the stable way to read it.
    CommandResult listed = RunSelf({"--root", root.string(), "computer", "list", "--json"});
    if (listed.status == 0) {
      nlohmann::json computers = nlohmann::json::parse(listed.out, nullptr, false);
      if (computers.is_array() && !computers.empty() && computers[0].contains("name")) {
        config.computer = computers[0]["name"].get<std::string>();
      }
    }
  }
  if (config.computer.empty()) {
    throw AutomationError(-1, "no account database in " + root.string() +
                                  ": run init first, or set host.computer in platform.conf");
  }
  config.directories = ParseDirectories(conf.Get("host.directories"));
  if (config.directories.empty()) {
    const std::string local = "WinNT://" + config.computer;
    config.directories.push_back({"This computer (" + local + ")", local});
    if (!conf.Get("ldap.uri").empty()) {
      config.directories.push_back({"Default domain (LDAP://RootDSE)", "LDAP://RootDSE"});
    }
  }
  SignInPolicy& p = config.signin;
  p.delay = std::chrono::milliseconds(ConfNumber(conf, "signin.delay_ms", p.delay.count()));
  p.max_delay =
      std::chrono::milliseconds(ConfNumber(conf, "signin.max_delay_ms", p.max_delay.count()));
  p.account_lockout_after =
      static_cast<int>(ConfNumber(conf, "signin.lockout_after", p.account_lockout_after));
  p.address_lockout_after =
      static_cast<int>(ConfNumber(conf, "signin.address_lockout_after", p.address_lockout_after));
  p.lockout = std::chrono::seconds(ConfNumber(conf, "signin.lockout_seconds", p.lockout.count()));
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  config.max_workers = static_cast<size_t>(
      ConfNumber(conf, "host.max_workers", std::max<long>(256, 64L * cores), 1));
  return config;
}

std::vector<Directory> ParseDirectories(const std::string& text) {
  std::vector<Directory> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(';', pos);
    if (end == std::string::npos) end = text.size();
    const std::string entry = TrimmedText(text.substr(pos, end - pos));
    pos = end + 1;
    if (entry.empty()) continue;
    const size_t bar = entry.find('|');
    Directory d;
    d.path = TrimmedText(bar == std::string::npos ? entry : entry.substr(bar + 1));
    d.label = bar == std::string::npos ? d.path : TrimmedText(entry.substr(0, bar));
    if (d.path.rfind("WinNT://", 0) != 0 && d.path.rfind("LDAP://", 0) != 0) {
      throw AutomationError(-1, "platform.conf host.directories: \"" + d.path +
                                    "\" is not a WinNT:// or LDAP:// path");
    }
    out.push_back(std::move(d));
  }
  return out;
}

std::string HostName(const std::string& host_header) {
  if (!host_header.empty() && host_header.front() == '[') {
    return host_header.substr(1, host_header.find(']') - 1);
  }
  return host_header.substr(0, host_header.find(':'));
}

bool IsLoopbackName(const std::string& name) {
  return name == "localhost" || name == "::1" || name.rfind("127.", 0) == 0;
}

void Serve(const SiteConfig& config, const std::string& host, int port,
           const std::function<void(int port)>& on_listening) {
  // Signals are taken by one waiting thread, so the server stops cleanly between requests.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  httplib::Server server;
  AdminSite site(config);
  site.Mount(server);
  if (IsLoopbackName(host)) {
    // A page of another site that rebinds its own name to our address must not reach us.
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
      if (IsLoopbackName(HostName(req.get_header_value("Host")))) {
        return httplib::Server::HandlerResponse::Unhandled;
      }
      res.status = 421;
      res.set_content("This server answers only to its loopback address.",
                      "text/plain; charset=utf-8");
      return httplib::Server::HandlerResponse::Handled;
    });
  }
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
  server.set_socket_options([&listen_fd](socket_t sock) {
    httplib::default_socket_options(sock);
    listen_fd = sock;
  });

  int bound =
      port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  if (bound < 0) {
    throw AutomationError(-1, "cannot listen on " + host + ":" + std::to_string(port));
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
        res.status = 403;
        res.set_content("Request refused: it did not come from a page of this site.",
                        "text/plain; charset=utf-8");
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
  server.Get("/UserDelete.asp", bind(&AdminSite::UserDelete));
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
  server.Get(R"(/(style\.css|app\.js|images/\w+\.gif))", [](const Request& req, Response& res) {
    const Asset* asset = FindAsset(req.path);
    if (asset == nullptr) {
      res.status = 404;
      return;
    }
    res.set_header("Cache-Control", "max-age=3600");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(std::string(asset->body), std::string(asset->content_type).c_str());
  });
  // cpp-httplib itself refuses an oversized form (413) or a malformed request with no text.
  server.set_error_handler([](const Request&, Response& res) {
    if (!res.body.empty() || res.status == 404) return;
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

// --- shared helpers -------------------------------------------------------------------------

std::string SessionIdOf(const httplib::Request& req) {
  const std::string cookies = req.get_header_value("Cookie");
  const std::string key = std::string(kSessionCookie) + "=";
  size_t pos = 0;
  while (pos < cookies.size()) {
    size_t end = cookies.find(';', pos);
    if (end == std::string::npos) end = cookies.size();
    std::string_view item(cookies.data() + pos, end - pos);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    if (item.substr(0, key.size()) == key) return std::string(item.substr(key.size()));
    pos = end + 1;
  }
  return "";
}

std::string AccountName(const std::string& user) {
  size_t slash = user.find('\\');
  return slash == std::string::npos ? user : user.substr(slash + 1);
}

namespace {

std::string OwnOrigin(const httplib::Request& req) {
  return "http://" + req.get_header_value("Host");
}

}  // namespace

bool IsCrossSite(const httplib::Request& req) {
  const std::string site = req.get_header_value("Sec-Fetch-Site");
  if (!site.empty() && site != "same-origin" && site != "none") return true;
  const std::string origin = req.get_header_value("Origin");
  return !origin.empty() && origin != OwnOrigin(req);
}

bool IsSameOrigin(const httplib::Request& req) {
  const std::string site = req.get_header_value("Sec-Fetch-Site");
  if (!site.empty()) return site == "same-origin";
  const std::string origin = req.get_header_value("Origin");
  if (!origin.empty()) return origin == OwnOrigin(req);
  const std::string referer = req.get_header_value("Referer");
  return !referer.empty() && referer.rfind(OwnOrigin(req) + "/", 0) == 0;
}

bool IsOwnPage(std::string_view page) {
  static constexpr std::string_view kPages[] = {"Default.asp", "ProfileAdministrators.asp",
                                                "Groups.asp",  "Users.asp",
                                                "Import.asp",  "Sites.asp"};
  for (std::string_view p : kPages) {
    if (p == page) return true;
  }
  return false;
}

std::string ErrorText(const AutomationError& e) {
  return "Error " + NumberText(e.number) + ": " + e.description;
}

std::string Param(const httplib::Request& req, const std::string& name) {
  if (req.has_param(name.c_str())) return req.get_param_value(name.c_str());
  if (req.has_file(name.c_str())) return req.get_file_value(name.c_str()).content;
  return "";
}

std::optional<Session> AdminSite::SignedIn(const Request& req, Response& res) {
  std::optional<Session> s = sessions_.Find(SessionIdOf(req));
  if (!s) res.set_redirect("login.asp", 303);
  return s;
}

std::optional<Session> AdminSite::Admin(const Request& req, Response& res) {
  std::optional<Session> s = SignedIn(req, res);
  if (s && s->role != Role::kServerAdministrator) {
    PageFrame frame = Frame(*s, "Not allowed", "denied");
    Send(res, 403, frame,
         "<p>This page is for server administrators. <a href=Default.asp>Your profiles</a></p>");
    return std::nullopt;
  }
  return s;
}

bool AdminSite::CheckPost(const Request& req, Response& res, const Session& s) {
  if (IsCrossSite(req) || !ConstantTimeEquals(Param(req, "csrf"), s.csrf)) {
    res.status = 403;
    res.set_content("Request refused: it did not come from a page of this site.",
                    "text/plain; charset=utf-8");
    return false;
  }
  return true;
}

PageFrame AdminSite::Frame(const Session& s, std::string title, std::string page) {
  PageFrame frame;
  frame.title = std::move(title);
  frame.page = std::move(page);
  frame.user = s.user;
  frame.csrf = s.csrf;
  frame.admin = s.role == Role::kServerAdministrator;
  auto [message, is_error] = sessions_.TakeFlash(s.id);
  frame.message = std::move(message);
  frame.message_is_error = is_error;
  return frame;
}

void AdminSite::Send(Response& res, int status, const PageFrame& frame, std::string_view content) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("X-Frame-Options", "DENY");
  res.set_header("Referrer-Policy", "same-origin");
  // No inline script of any kind: the component's calls reach the page script as data.
  res.set_header("Content-Security-Policy",
                 "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; "
                 "object-src 'none'; form-action 'self'; frame-ancestors 'none'; "
                 "base-uri 'none'");
  res.set_content(RenderPage(frame, content), "text/html; charset=utf-8");
}

void AdminSite::Refuse(const Request& req, Response& res, const std::string& why) {
  if (req.path == "/login.asp") {
    RenderLogin(res, 400, "", why);
    return;
  }
  PageFrame frame;
  frame.title = "Request refused";
  frame.page = "refused";
  frame.message = why;
  frame.message_is_error = true;
  Send(res, 400, frame, "<p><a href=Default.asp>Back to the pages</a></p>");
}

void AdminSite::Done(Response& res, const Session& s, const std::string& back, std::string message,
                     bool is_error) {
  sessions_.Flash(s.id, std::move(message), is_error);
  res.set_redirect(IsOwnPage(back) ? back : "Default.asp", 303);
}

void AdminSite::Report(Response& res, const Session& s, const std::string& back,
                       const CallOutcome& o, size_t error_arg, bool ok,
                       const std::string& success) {
  if (o.error) {
    Done(res, s, back, ErrorText(*o.error), true);
  } else if (!ok) {
    std::string text = o.Text(error_arg);
    Done(res, s, back, text.empty() ? "The change was not made." : text, true);
  } else {
    // Some successes still carry a note in pvError (an existing directory, say).
    std::string note = o.Text(error_arg);
    Done(res, s, back, note.empty() ? success : success + " " + note, false);
  }
}

// --- sign-in ------------------------------------------------------------------------------------

void AdminSite::RenderLogin(Response& res, int status, const std::string& user,
                            const std::string& error) {
  PageFrame frame;
  frame.title = "Sign in";
  frame.page = "signin";
  frame.message = error;
  frame.message_is_error = true;
  std::string form =
      "<div class=signin><form class=panel method=post action=login.asp>"
      "<label>User name <input type=text name=username id=username autocomplete=username "
      "maxlength=256 value=\"" +
      Escape(user) +
      "\" autofocus></label>"
      "<label>Password <input type=password name=password id=password maxlength=256 "
      "autocomplete=current-password></label>"
      "<label>Directory <select name=directory id=directory>";
  // Only what the administrator configured: a directory named by the visitor would answer both
  // the password check and the administrators' group.
  for (const Directory& d : config_.directories) {
    form += "<option value=\"" + Escape(d.path) + "\">" + Escape(d.label) + "</option>";
  }
  form +=
      "</select></label>"
      "<label><input type=radio name=login_type value=ServerAdministrator checked> "
      "Server administrator</label>"
      "<label><input type=radio name=login_type value=ProfileAdministrator id=as_profile> "
      "Profile administrator</label>"
      "<p><button type=submit id=signin>Sign in</button></p></form></div>";
  Send(res, status, frame, form);
}

void LogSignIn(std::string_view what, const std::string& user, const std::string& address) {
  // The name is the visitor's: written so that it cannot forge or break a log line.
  std::string name;
  for (unsigned char c : user.substr(0, 256)) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      name += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      name += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    }
  }
  std::cerr << "brindlecore: sign-in " << what << " for \"" << name << "\" from " << address
            << std::endl;
}

void AdminSite::LoginForm(const Request& req, Response& res) {
  if (sessions_.Find(SessionIdOf(req))) {
    res.set_redirect("Default.asp", 303);
    return;
  }
  RenderLogin(res, 200, "", "");
}

void AdminSite::Login(const Request& req, Response& res) {
  if (IsCrossSite(req)) {
    res.status = 403;
    res.set_content("Request refused: it did not come from a page of this site.",
                    "text/plain; charset=utf-8");
    return;
  }
  const std::string user = Param(req, "username");
  const std::string password = Param(req, "password");
  const std::string directory = Param(req, "directory");
  if (std::none_of(config_.directories.begin(), config_.directories.end(),
                   [&](const Directory& d) { return d.path == directory; })) {
    RenderLogin(res, 400, user, "Choose one of the offered directories.");
    return;
  }
  const std::string login_type = Param(req, "login_type") == "ProfileAdministrator"
                                     ? "ProfileAdministrator"
                                     : "ServerAdministrator";
  // Known and unknown names are throttled alike and the refusal is the same, so it tells
  // nothing about which accounts exist.
  const std::string account_key = ThrottleKey(user);
  const SignInThrottle::Decision decision = throttle_.Begin(account_key, req.remote_addr);
  if (decision.verdict != SignInThrottle::Verdict::kAllowed) {
    LogSignIn("refused (too many failures)", user, req.remote_addr);
    const std::string seconds = std::to_string(std::max<long>(1, decision.retry_after.count()));
    res.set_header("Retry-After", seconds);
    RenderLogin(res, 429, user,
                decision.verdict == SignInThrottle::Verdict::kLocked
                    ? "Too many failed sign-ins: this name or this address is locked for " +
                          seconds + " seconds."
                    : "Too many failed sign-ins: wait " + seconds + " seconds and try again.");
    return;
  }

  CallOutcome o = CallComponent("AuthenticateUser",
                                {In(config_.computer), In(directory), In(user), In(password), Out(),
                                 Out(), In(config_.admin_group), In(login_type), Out()});
  const std::string error = o.error ? ErrorText(*o.error) : o.Text(8);
  const std::string list = o.Text(4);
  // Signed in only when the component left no error and named at least one group.
  if (o.error || !error.empty() || list.empty()) {
    throttle_.Failed(account_key, req.remote_addr);
    LogSignIn("failed", user, req.remote_addr);
    RenderLogin(res, 401, user, error.empty() ? "Sign-in failed." : error);
    return;
  }
  throttle_.Succeeded(account_key, req.remote_addr);
  Session s;
  s.role = login_type == "ProfileAdministrator" ? Role::kProfileAdministrator
                                                : Role::kServerAdministrator;
  s.user = user;
  s.password = password;
  s.directory = directory;
  const std::string names = o.Text(5);
  size_t a = 0, b = 0;
  while (a < list.size()) {
    size_t ea = list.find(';', a);
    size_t eb = names.find(';', b);
    if (ea == std::string::npos) ea = list.size();
    std::string description =
        b < names.size() ? names.substr(b, eb == std::string::npos ? std::string::npos : eb - b)
                         : "";
    s.groups.emplace_back(list.substr(a, ea - a), description);
    a = ea + 1;
    b = eb == std::string::npos ? names.size() : eb + 1;
  }
  Session stored = sessions_.Create(std::move(s));
  res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + stored.id +
                                   "; Path=/; HttpOnly; SameSite=Strict");
  res.set_redirect(
      stored.role == Role::kServerAdministrator ? "ProfileAdministrators.asp" : "Default.asp", 303);
}

void AdminSite::Logout(const Request& req, Response& res) {
  std::optional<Session> s = SignedIn(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  sessions_.Remove(s->id);
  res.set_header("Set-Cookie",
                 std::string(kSessionCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
  res.set_redirect("login.asp", 303);
}

void AdminSite::Home(const Request& req, Response& res) {
  std::optional<Session> s = SignedIn(req, res);
  if (!s) return;
  bool admin = s->role == Role::kServerAdministrator;
  std::string content = admin ? "<p>You are signed in as a server administrator through:</p>"
                              : "<p>You may see the statistics of these profiles:</p>";
  content += "<table class=listing id=profiles><tr><th>" +
             std::string(admin ? "Group" : "Profile") + "</th><th>Description</th></tr>";
  for (const auto& [key, description] : s->groups) {
    content += "<tr><td class=TableRow>" + Escape(key) + "</td><td class=TableRow>" +
               Escape(description) + "</td></tr>";
  }
  content += "</table>";
  Send(res, 200, Frame(*s, admin ? "Welcome" : "Your profiles", "home"), content);
}

}  // namespace brindlecore::host
