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
  const std::string port_error = "The port must be a number from 1 to 65535.";
  // What was typed comes back in the form, as text.
  const std::string comment = "Zebra\"><b>";
  const std::string comment_kept = "name=comment value=\"Zebra&quot;&gt;&lt;b&gt;\"";
  struct Row {
    std::string page, field, value, message;
  } rows[] = {
      {"/CreateSite.asp", "port", "0", port_error},
      {"/CreateSite.asp", "port", "65536", port_error},
      {"/CreateSite.asp", "port", "8o", port_error},
      {"/CreateSite.asp", "port", "", port_error},
      {"/CreateSite.asp", "root", folder + "/missing",
       "The folder " + folder + "/missing does not exist on this server."},
      {"/CreateSite.asp", "root", "", "Type the path of a folder on this server."},
      {"/CreateDir.asp", "path", folder + "/missing",
       "The folder " + folder + "/missing does not exist on this server."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.page + " " + row.field + "=" + row.value);
    httplib::Params form = {{"port", "8080"}, {"root", folder}, {"comment", comment},
                            {"site", "1"},    {"name", "v"},    {"path", folder}};
    form.erase(row.field);
    form.emplace(row.field, row.value);
    httplib::Result r = v.Post(row.page, form);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_NE(r->body.find("class=\"message error\">" + row.message + "</div>"), std::string::npos)
        << r->body;
    EXPECT_NE(r->body.find("name=" + row.field + " value=\"" + row.value + "\""),
              std::string::npos);
    if (row.page == "/CreateSite.asp") {
      EXPECT_NE(r->body.find(comment_kept), std::string::npos);
    }
    EXPECT_EQ(v.Get("/Sites.asp")->body.find("Zebra"), std::string::npos) << "nothing was created";
  }

  EXPECT_NE(v.Get("/Sites.asp")->body.find("<td class=TableRow>stopped</td>"), std::string::npos);
  v.Post("/StartSite.asp", {{"site", "1"}});
  EXPECT_NE(
      v.Get("/Sites.asp")->body.find("started <a class=site-link href=\"http://127.0.0.1:80/\">"),
      std::string::npos);
}

}  // namespace
}  // namespace brindlecore::testing
