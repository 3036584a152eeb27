#include "host/served_root.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "support/command.h"
#include "support/metabase_fixture.h"
#include "support/winnt_fixture.h"

namespace brindlecore::testing {

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
  const char* component = std::getenv("BRINDLECORE_COMPONENT");
  if (component == nullptr || RunCommand(root(), {"regsvr", component}).status != 0) {
    throw std::runtime_error("regsvr failed");
  }
  std::filesystem::create_directory(tmp());
  const std::filesystem::path out = root() / "serve.stdout";
  server_.Start({CommandPath(), "--root", root().string(), "serve", "--listen", "127.0.0.1:0"},
                {"/dev/null", out, root() / "serve.stderr"}, {"TMPDIR=" + tmp().string()});
  // The first line names the address the server listens on.
  std::string said;
  server_.WaitReady([&] { return (said = ReadFile(out)).find('\n') != std::string::npos; }, 30);
  port_ = std::atoi(said.c_str() + said.rfind(':') + 1);
  if (said.find(" on https://") != std::string::npos) scheme_ = "https";
  if (port_ <= 0) throw std::runtime_error("serve said: " + said + Log());
}

ServedRoot::~ServedRoot() {
  server_.Stop();
  std::cerr << Log();
}

std::string ServedRoot::Log() const { return ReadFile(root() / "serve.stderr"); }

httplib::Client ServedRoot::Client() const {
  httplib::Client client(origin());
  client.enable_server_certificate_verification(false);
  client.set_connection_timeout(5, 0);
  client.set_read_timeout(30, 0);
  return client;
}

httplib::Result Visitor::SignIn(const std::string& user, const std::string& password,
                                const std::string& login_type, const std::string& directory) {
  httplib::Params form = {{"username", user},
                          {"password", password},
                          {"directory", directory},
                          {"login_type", login_type}};
  httplib::Result r = server.Client().Post("/login.asp", {{"Origin", server.origin()}}, form);
  if (r && r->status == 303) {
    const std::string set = r->get_header_value("Set-Cookie");
    cookie = set.substr(0, set.find(';'));
    const std::string page = Get("/Default.asp")->body, key = "name=csrf value=\"";
    const size_t at = page.find(key) + key.size();
    csrf = page.substr(at, page.find('"', at) - at);
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

httplib::Result Visitor::Import(const std::string& name, const std::string& content) {
  httplib::MultipartFormDataItems items = {{"csrf", csrf, "", ""},
                                           {"file", content, name, "text/plain"}};
  return server.Client().Post("/Import.asp",
                              {{"Cookie", cookie}, {"Sec-Fetch-Site", "same-origin"}}, items);
}

}  // namespace brindlecore::testing
