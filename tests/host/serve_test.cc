// `serve` with a platform.conf of its own: HTTPS, the directories offered at sign-in, the sign-in
// throttle, and many idle or slow clients.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "host/served_root.h"
#include "support/command.h"
#include "support/temp_dir.h"
#include "support/web_root.h"

namespace brindlecore::testing {
namespace {

// A self-signed certificate for 127.0.0.1 and its key, as an administrator would make them.
void MakeCertificate(const std::filesystem::path& cert, const std::filesystem::path& key) {
  CommandOutcome made = RunShell(
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
      "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
      key.string() + "' -out '" + cert.string() + "'");
  ASSERT_EQ(made.status, 0) << made.err;
}

// Certificate files it cannot use are named, and so is an address it cannot listen on; with a
// good pair it speaks HTTPS only.
TEST(ServeTest, HttpsWithTheConfiguredCertificateOnly) {
  TempDir dir;
  const std::filesystem::path root = dir.path() / "root";
  ASSERT_EQ(RunCommand(root, {"init", "--computer", "TESTPC"}).status, 0);
  const std::string d = dir.path().string();
  ASSERT_NO_FATAL_FAILURE(MakeCertificate(dir.path() / "cert.pem", dir.path() / "key.pem"));
  ASSERT_NO_FATAL_FAILURE(MakeCertificate(dir.path() / "other.pem", dir.path() / "other-key.pem"));
  std::ofstream(dir.path() / "garbage.pem") << "-----BEGIN CERTIFICATE-----\nx\n";
  ServedRoot server("signin.delay_ms = 0\nserve.tls_cert = " + d +
                    "/cert.pem\nserve.tls_key = " + d + "/key.pem\n");
  const std::string port = std::to_string(server.port());
  auto not_a_pair = [&](const std::string& cert, const std::string& key) {
    return "serve.tls_cert " + d + cert + " and serve.tls_key " + d + key +
           " are not a certificate chain and its private key (PEM)";
  };
  const std::string any = "127.0.0.1:0", busy = "127.0.0.1:" + port;
  // The IPv6 documentation range: an address of no interface here, written as in a URL and named
  // back the same way.
  const std::string foreign6 = "[2001:db8::1]:" + port;
  const std::string unassignable = ": Cannot assign requested address";
  struct Case {
    std::string listen, cert, key, error;
  };
  const Case cases[] = {
      {any, d + "/missing.pem", d + "/key.pem",
       "cannot read serve.tls_cert " + d + "/missing.pem: No such file or directory"},
      {any, d + "/cert.pem", d + "/missing.pem",
       "cannot read serve.tls_key " + d + "/missing.pem: No such file or directory"},
      {any, d + "/garbage.pem", d + "/key.pem", not_a_pair("/garbage.pem", "/key.pem")},
      // Each file is good, but the key is another certificate's.
      {any, d + "/cert.pem", d + "/other-key.pem", not_a_pair("/cert.pem", "/other-key.pem")},
      {any, d + "/cert.pem", "",
       "platform.conf sets serve.tls_cert alone: HTTPS needs both serve.tls_cert and "
       "serve.tls_key"},
      {busy, "", "", "cannot listen on " + busy + ": Address already in use"},
      {foreign6, "", "", "cannot listen on " + foreign6 + unassignable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listen + " " + c.cert + " " + c.key);
    std::ofstream conf(root / "platform.conf");
    if (!c.cert.empty()) conf << "serve.tls_cert = " << c.cert << "\n";
    if (!c.key.empty()) conf << "serve.tls_key = " << c.key << "\n";
    conf.close();
    CommandOutcome o = RunShell("exec timeout 30 '" + CommandPath() + "' --root '" + root.string() +
                                "' serve --listen " + c.listen);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "brindlecore: " + c.error + "\n");
    EXPECT_EQ(o.out, "");
  }

  ASSERT_EQ(server.origin().rfind("https://", 0), 0u) << server.origin();
  // The certificate served is the one configured: a client that trusts only it gets through.
  httplib::Client trusting(server.origin());
  trusting.set_ca_cert_path((d + "/cert.pem").c_str());
  httplib::Result form = trusting.Get("/login.asp");
  ASSERT_TRUE(form) << httplib::to_string(form.error());
  EXPECT_EQ(form->status, 200);
  // Same-origin checks see the https origin, and the cookie never travels in clear.
  Visitor v(server);
  httplib::Result in = v.SignIn("admin", "admin-pw");
  ASSERT_EQ(in->status, 303);
  EXPECT_NE(in->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
  EXPECT_EQ(v.Post("/logout.asp", {})->status, 303);
  httplib::Client plain("127.0.0.1", server.port());
  plain.set_read_timeout(5, 0);
  httplib::Result clear = plain.Get("/login.asp");
  EXPECT_FALSE(clear && clear->status == 200);
}

// The directories of platform.conf are offered at sign-in, and a locked name refuses even the right
// password, as an unknown name does. When a lockout ends is the throttle's own test, on its clock.
TEST(ServeTest, ConfiguredDirectoriesAndLockedNames) {
  ServedRoot server(
      "signin.delay_ms = 0\nsignin.lockout_after = 3\nsignin.lockout_seconds = 600\n"
      "signin.address_lockout_after = 0\nhost.directories = Head office | "
      "LDAP://DC=corp,DC=example ; WinNT://TESTPC;\n");
  httplib::Result form = server.Client().Get("/login.asp");
  ASSERT_TRUE(form);
  EXPECT_NE(form->body.find("<option value=\"LDAP://DC=corp,DC=example\">Head office</option>"
                            "<option value=\"WinNT://TESTPC\">WinNT://TESTPC</option></select>"),
            std::string::npos)
      << form->body;
  EXPECT_EQ(Visitor(server).SignIn("admin", "admin-pw")->status, 303);
  // No ldap.uri: the sign-in says which keys to set.
  httplib::Result ldap = Visitor(server).SignIn("CORP\\someone", "pw", "ServerAdministrator",
                                                "LDAP://DC=corp,DC=example");
  ASSERT_TRUE(ldap);
  EXPECT_EQ(ldap->status, 401);
  EXPECT_NE(ldap->body.find("The server is not operational.</div>\n<p class=hint id=bc-hint>No "
                            "directory server is set up: set ldap.uri in platform.conf"),
            std::string::npos)
      << ldap->body;

  auto message = [](const httplib::Result& r) {
    const size_t at = r->body.find("id=bc-message");
    return r->body.substr(at, r->body.find("</div>", at) - at);
  };
  std::string locked_message;
  for (const char* name : {"admin", "nosuchuser"}) {
    SCOPED_TRACE(name);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Visitor(server).SignIn(name, "wrong")->status, 401);
    httplib::Result locked = Visitor(server).SignIn(name, "admin-pw");
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->status, 429);
    EXPECT_FALSE(locked->has_header("Set-Cookie"));
    EXPECT_NE(message(locked).find("Too many failed sign-ins"), std::string::npos);
    if (locked_message.empty()) locked_message = message(locked);
    EXPECT_EQ(message(locked), locked_message);
  }
}

// A liveness check: the deadline is one only a hang would miss.
TEST(ServeTest, SignInAnswersBesideIdleAndSlowConnections) {
  ServedRoot server;
  std::vector<int> idle(200), slow(20);
  for (int& fd : idle) ASSERT_GE(fd = ConnectLoopback(server.port()), 0);
  for (int& fd : slow) ASSERT_GE(fd = ConnectLoopback(server.port()), 0);
  // The slow clients add a header line every two seconds and never finish their request.
  std::atomic<bool> done = false;
  std::thread dribble([&] {
    for (int round = 0; !done; ++round) {
      const std::string line = round == 0 ? "GET /login.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                          : "X-Slow-" + std::to_string(round) + ": 1\r\n";
      for (int fd : slow) (void)!send(fd, line.data(), line.size(), MSG_NOSIGNAL);
      for (int k = 0; k < 20 && !done; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  // Once at once, and once after the slow clients have sent a few lines.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) std::this_thread::sleep_for(std::chrono::seconds(5));
    httplib::Client client = server.Client();
    client.set_read_timeout(60, 0);
    httplib::Result page = client.Get("/login.asp");
    ASSERT_TRUE(page) << httplib::to_string(page.error());
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(Visitor(server).SignIn("admin", "admin-pw")->status, 303);
  }
  done = true;
  dribble.join();
  for (int fd : idle) close(fd);
  for (int fd : slow) close(fd);
}

}  // namespace
}  // namespace brindlecore::testing
