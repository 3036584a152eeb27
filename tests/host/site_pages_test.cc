// The Web sites page: what it checks before calling the component, and each site's state.
#include <gtest/gtest.h>

#include "host/served_root.h"

namespace brindlecore::testing {
namespace {

TEST(SitePagesTest, RefusesBadPortsAndMissingFoldersAndShowsStates) {
  ServedRoot server;
  Visitor v(server);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  const std::string folder = server.root().string();
  struct Row {
    const char* port;
    std::string root;
    const char* message;
  } rows[] = {
      {"0", folder, "The port must be a number from 1 to 65535."},
      {"65536", folder, "The port must be a number from 1 to 65535."},
      {"8o", folder, "The port must be a number from 1 to 65535."},
      {"8080", folder + "/missing", "does not exist on this server."},
  };
  for (const auto& row : rows) {
    v.Post("/CreateSite.asp", {{"port", row.port}, {"root", row.root}, {"comment", "Zebra"}});
    std::string page = v.Get("/Sites.asp")->body;
    EXPECT_NE(page.find(row.message), std::string::npos) << row.port << " " << row.root;
    EXPECT_EQ(page.find("Zebra"), std::string::npos) << "nothing was created";
  }

  EXPECT_NE(v.Get("/Sites.asp")->body.find("<td class=TableRow>stopped</td>"), std::string::npos);
  v.Post("/StartSite.asp", {{"site", "1"}});
  EXPECT_NE(
      v.Get("/Sites.asp")->body.find("started <a class=site-link href=\"http://127.0.0.1:80/\">"),
      std::string::npos);
}

}  // namespace
}  // namespace brindlecore::testing
