// `serve` as an administrator runs it: alone on its port, with a journal line per request.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "host/served_root.h"
#include "support/command.h"

namespace brindlecore::testing {
namespace {

// `serve --listen address` over `root`, stopped by timeout should it start after all.
CommandOutcome ServeAgain(const ServedRoot& server, const std::string& address) {
  return RunShell("exec timeout 30 '" + CommandPath() + "' --root '" + server.root().string() +
                  "' serve --listen " + address);
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    CommandOutcome o = ServeAgain(server, c.address);
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
    EXPECT_TRUE(std::any_of(written.begin(), written.end(),
                            [&](const std::string& line) { return std::regex_match(line, pattern); }))
        << expected << "\n" << log;
  }
  for (const char* secret : {"admin-pw", "wrong-pw", "secret-query", "bc_session"}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
}  // namespace brindlecore::testing
