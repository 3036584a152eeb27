// `serve` as an administrator runs it: alone on its port, with a journal line per request.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "host/served_root.h"
#include "support/command.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

// `serve --listen address` over `root`, stopped by timeout should it start after all.
CommandOutcome ServeOnce(const std::filesystem::path& root, const std::string& address) {
  return RunShell("exec timeout 30 '" + CommandPath() + "' --root '" + root.string() +
                  "' serve --listen " + address);
}

// A self-signed certificate for 127.0.0.1 and its key, as an administrator would make them.
void MakeCertificate(const std::filesystem::path& cert, const std::filesystem::path& key) {
  CommandOutcome made = RunShell(
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
      "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
      key.string() + "' -out '" + cert.string() + "'");
  ASSERT_EQ(made.status, 0) << made.err;
}

TEST(ServeTest, ASecondServerOnABusyPortOrAForeignAddressExitsWithTheReason) {
  ServedRoot server;
  const std::string port = std::to_string(server.port());
  struct Case {
    std::string address, reason;
  };
  const Case cases[] = {
      {"127.0.0.1:" + port, "Address already in use"},
      // TEST-NET-1: an address of no interface here.
      {"192.0.2.1:" + port, "Cannot assign requested address"},
      // IPv6 documentation range, written as in a URL and named back the same way.
      {"[2001:db8::1]:" + port, "Cannot assign requested address"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    CommandOutcome o = ServeOnce(server.root(), c.address);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "brindlecore: cannot listen on " + c.address + ": " + c.reason + "\n");
  }
  httplib::Result still = server.Client().Get("/login.asp");
  ASSERT_TRUE(still);
  EXPECT_EQ(still->status, 200);
}

TEST(ServeTest, EachRequestIsOneEscapedLineWithoutQueryOrPassword) {
  ServedRoot server;
  Visitor admin(server);
  ASSERT_EQ(admin.SignIn("admin", "admin-pw")->status, 303);
  admin.Get("/Groups.asp?ListUsers=secret-query", {{"Sec-Fetch-Site", "same-origin"}});
  server.Client().Get("/a%0Abrindlecore:%20GET%20/forged%22%5C?password=secret-query");
  Visitor(server).SignIn("ad\"min\nbrindlecore: forged", "wrong-pw-1");
  Visitor(server).SignIn("carol", "wrong-pw-2");

  const std::string lines[] = {
      R"(POST /login\.asp 303 \d+ms "admin")",
      R"(GET /Default\.asp 200 \d+ms "admin")",
      R"(GET /Groups\.asp 200 \d+ms "admin")",
      R"(GET /a\\x0abrindlecore:\\x20GET\\x20/forged\\x22\\x5c 404 \d+ms -)",
      R"(POST /login\.asp 401 \d+ms - sign-in failed for "ad\\x22min\\x0abrindlecore: forged")"
      R"( from 127\.0\.0\.1)",
      R"(POST /login\.asp 401 \d+ms - sign-in failed for "carol" from 127\.0\.0\.1)",
  };
  std::string log;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::count(log.begin(), log.end(), '\n') < std::ssize(lines) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    log = server.Log();
  }
  // A line is written once its answer is sent, so a redirect's line may follow the next page's.
  std::vector<std::string> written;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) written.push_back(line);
  EXPECT_EQ(written.size(), std::size(lines)) << log;
  for (const std::string& expected : lines) {
    const std::regex pattern("brindlecore: " + expected);
    EXPECT_TRUE(
        std::any_of(written.begin(), written.end(),
                    [&](const std::string& line) { return std::regex_match(line, pattern); }))
        << expected << "\n"
        << log;
  }
  for (const char* secret : {"admin-pw", "wrong-pw", "secret-query", "bc_session"}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
  }
}

TEST(ServeTest, WithACertificateAndKeyItSpeaksHttpsOnly) {
  TempDir tls;
  const std::filesystem::path cert = tls.path() / "cert.pem", key = tls.path() / "key.pem";
  ASSERT_NO_FATAL_FAILURE(MakeCertificate(cert, key));
  ServedRoot server("signin.delay_ms = 0\nserve.tls_cert = " + cert.string() +
                    "\nserve.tls_key = " + key.string() + "\n");
  ASSERT_EQ(server.origin().rfind("https://", 0), 0u) << server.origin();
  // The certificate served is the one configured: a client that trusts only it gets through.
  httplib::Client trusting(server.origin());
  trusting.set_ca_cert_path(cert.c_str());
  httplib::Result form = trusting.Get("/login.asp");
  ASSERT_TRUE(form) << httplib::to_string(form.error());
  EXPECT_EQ(form->status, 200);
  // Same-origin checks see the https origin, and the cookie never travels in clear.
  Visitor v(server);
  httplib::Result in = v.SignIn("admin", "admin-pw");
  ASSERT_TRUE(in);
  ASSERT_EQ(in->status, 303);
  EXPECT_NE(in->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
  EXPECT_EQ(v.Post("/logout.asp", {})->status, 303);

  httplib::Client plain("127.0.0.1", server.port());
  plain.set_read_timeout(5, 0);
  httplib::Result clear = plain.Get("/login.asp");
  EXPECT_FALSE(clear && clear->status == 200);
}

TEST(ServeTest, CertificateFilesItCannotUseAreNamed) {
  TempDir dir;
  const std::filesystem::path root = dir.path() / "root";
  ASSERT_EQ(RunCommand(root, {"init", "--computer", "TESTPC"}).status, 0);
  const std::string d = dir.path().string();
  ASSERT_NO_FATAL_FAILURE(MakeCertificate(dir.path() / "cert.pem", dir.path() / "key.pem"));
  ASSERT_NO_FATAL_FAILURE(MakeCertificate(dir.path() / "other.pem", dir.path() / "other-key.pem"));
  std::ofstream(dir.path() / "garbage.pem") << "-----BEGIN CERTIFICATE-----\nx\n";
  struct Case {
    std::string cert, key, error;
  };
  const Case cases[] = {
      {d + "/missing.pem", d + "/key.pem",
       "cannot read serve.tls_cert " + d + "/missing.pem: No such file or directory"},
      {d + "/cert.pem", d + "/missing.pem",
       "cannot read serve.tls_key " + d + "/missing.pem: No such file or directory"},
      {d + "/garbage.pem", d + "/key.pem",
       "serve.tls_cert " + d + "/garbage.pem and serve.tls_key " + d +
           "/key.pem are not a certificate chain and its private key (PEM)"},
      // Each file is good, but the key is another certificate's.
      {d + "/cert.pem", d + "/other-key.pem",
       "serve.tls_cert " + d + "/cert.pem and serve.tls_key " + d +
           "/other-key.pem are not a certificate chain and its private key (PEM)"},
      {d + "/cert.pem", "",
       "platform.conf sets serve.tls_cert alone: HTTPS needs both serve.tls_cert and "
       "serve.tls_key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cert + " " + c.key);
    std::ofstream conf(root / "platform.conf");
    conf << "serve.tls_cert = " << c.cert << "\n";
    if (!c.key.empty()) conf << "serve.tls_key = " << c.key << "\n";
    conf.close();
    CommandOutcome o = ServeOnce(root, "127.0.0.1:0");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "brindlecore: " + c.error + "\n");
    EXPECT_EQ(o.out, "");
  }
}

}  // namespace
}  // namespace brindlecore::testing
