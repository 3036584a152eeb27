#include "host/served_root.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

#include "support/command.h"
#include "support/metabase_fixture.h"
#include "support/winnt_fixture.h"

extern char** environ;

namespace brindlecore::testing {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr) throw std::runtime_error(std::string(name) + " is not set");
  return v;
}

// Starts `args` with TMPDIR set to `tmp`, its standard output a pipe (returned) and its standard
// error the file `err`.
int Spawn(std::vector<std::string> args, pid_t* pid, const std::filesystem::path& err,
          const std::string& tmp) {
  std::vector<std::string> env = {"TMPDIR=" + tmp};
  for (char** e = environ; *e != nullptr; ++e) {
    if (!std::string_view(*e).starts_with("TMPDIR=")) env.emplace_back(*e);
  }
  std::vector<char*> envp, argv;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int fds[2] = {-1, -1};
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int rc = posix_spawn(pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  return fds[0];
}

std::string CookieOf(const httplib::Result& r) {
  std::string set = r->get_header_value("Set-Cookie");
  return set.substr(0, set.find(';'));
}

}  // namespace

ServedRoot::ServedRoot(const std::string& conf) {
  AccountsFixture(root())
      .Computer(kComputer)
      .User(kComputer, "admin", "admin-pw", "Ad Min")
      .User(kComputer, "carol", "carol-pw", "Carol Chen")
      .User(kComputer, "bob", "", "Bob Baker")
      .Group(kComputer, "QZW3SVC1", "Sales")
      .Member(kComputer, "Administrators", "admin")
      .Member(kComputer, "QZW3SVC1", "carol");
  MetabaseFixture(root()).WebService().Site("1", "Sales");
  std::ofstream(root() / "platform.conf") << "host.computer = " << kComputer << "\n" << conf;

  if (RunCommand(root(), {"regsvr", Env("BRINDLECORE_COMPONENT")}).status != 0) {
    throw std::runtime_error("regsvr failed");
  }
  std::filesystem::create_directory(tmp());
  int out = Spawn({CommandPath(), "--root", root().string(), "serve", "--listen", "127.0.0.1:0"},
                  &pid_, root() / "serve.stderr", tmp().string());
  // The first line names the address the server listens on.
  std::string line;
  char c = 0;
  while (read(out, &c, 1) == 1 && c != '\n') line += c;
  close(out);
  size_t colon = line.rfind(':');
  if (colon == std::string::npos) throw std::runtime_error("serve said: " + line + Log());
  port_ = std::atoi(line.c_str() + colon + 1);
  if (line.find(" on https://") != std::string::npos) scheme_ = "https";
  if (port_ <= 0) throw std::runtime_error("serve said: " + line + Log());
}

ServedRoot::~ServedRoot() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  std::cerr << Log();
}

std::string ServedRoot::Log() const {
  std::ifstream in(root() / "serve.stderr");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

httplib::Client ServedRoot::Client() const {
  httplib::Client client(origin());
  client.enable_server_certificate_verification(false);
  client.set_connection_timeout(5, 0);
  client.set_read_timeout(30, 0);
  return client;
}

httplib::Result Visitor::SignIn(const std::string& user, const std::string& password,
                                const std::string& login_type) {
  httplib::Params form = {{"username", user},
                          {"password", password},
                          {"directory", std::string("WinNT://") + kComputer},
                          {"login_type", login_type}};
  httplib::Result r = server.Client().Post("/login.asp", {{"Origin", server.origin()}}, form);
  if (r && r->status == 303) {
    cookie = CookieOf(r);
    httplib::Result page = Get("/Default.asp");
    if (page) csrf = TokenOf(page->body);
  }
  return r;
}

httplib::Result Visitor::Get(const std::string& path, httplib::Headers extra) {
  extra.emplace("Cookie", cookie);
  return server.Client().Get(path.c_str(), extra);
}

httplib::Result Visitor::Post(const std::string& path, httplib::Params form, bool with_token) {
  if (with_token) form.emplace("csrf", csrf);
  return server.Client().Post(
      path.c_str(),
      {{"Cookie", cookie}, {"Origin", server.origin()}, {"Sec-Fetch-Site", "same-origin"}}, form);
}

std::string TokenOf(const std::string& page) {
  const std::string key = "name=csrf value=\"";
  size_t at = page.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  return page.substr(at, page.find('"', at) - at);
}

}  // namespace brindlecore::testing
