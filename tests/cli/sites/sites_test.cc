// The site and favorites commands as a person or a script runs them, over a temporary root.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/default_platform.h"
#include "platform/directory/iis/metabase_store.h"
#include "support/command.h"
#include "support/metabase_fixture.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

using Outcome = CommandOutcome;

class SiteCommandsTest : public ::testing::Test {
 protected:
  Outcome Brindle(std::vector<std::string> args) { return RunCommand(root(), std::move(args)); }
  const std::filesystem::path& root() const { return dir_.path(); }

  TempDir dir_;
};

TEST_F(SiteCommandsTest, RefusesWithoutAWebService) {
  Outcome out = Brindle({"site", "list"});
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.err, "brindlecore: no web service in " + root().string() +
                         " (run 'brindlecore --root " + root().string() + " init')\n");
  EXPECT_FALSE(std::filesystem::exists(root() / "metabase.db"));
}

TEST_F(SiteCommandsTest, AddListShowDelete) {
  MetabaseFixture(root()).WebService();
  EXPECT_EQ(Brindle({"site", "add", "--comment", "Sales"}).out, "Created web site 1\n");
  EXPECT_EQ(Brindle({"site", "add", "--number", "9", "--comment", "Shop", "--binding",
                     "10.0.0.5:8080:", "--binding", ":8081:shop", "--path", "/srv/www"})
                .out,
            "Created web site 9\n");
  EXPECT_EQ(Brindle({"site", "add"}).out, "Created web site 10\n");
  EXPECT_EQ(Brindle({"site", "start", "9"}).out, "Started web site 9\n");
  EXPECT_EQ(Brindle({"site", "start", "10"}).out, "Started web site 10\n");
  EXPECT_EQ(Brindle({"site", "stop", "10"}).out, "Stopped web site 10\n");

  Outcome list = Brindle({"site", "list", "--json"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(nlohmann::json::parse(list.out), nlohmann::json::parse(R"([
    {"number": "1", "class": "IIsWebServer", "comment": "Sales", "bindings": [":80:"], "state": "stopped"},
    {"number": "9", "class": "IIsWebServer", "comment": "Shop",
     "bindings": ["10.0.0.5:8080:", ":8081:shop"], "state": "started"},
    {"number": "10", "class": "IIsWebServer", "comment": "", "bindings": [":80:"], "state": "stopped"}
  ])"));
  EXPECT_EQ(Brindle({"site", "list"}).out,
            "1\tstopped\tSales\t:80:\n9\tstarted\tShop\t10.0.0.5:8080: :8081:shop\n"
            "10\tstopped\t\t:80:\n");

  Outcome show = Brindle({"site", "show", "9"});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_EQ(nlohmann::json::parse(show.out), nlohmann::json::parse(R"({
    "path": "IIS://LocalHost/W3SVC/9", "class": "IIsWebServer",
    "properties": {"ServerComment": "Shop", "ServerBindings": ["10.0.0.5:8080:", ":8081:shop"],
                   "ServerState": 2},
    "children": [{"name": "ROOT", "class": "IIsWebVirtualDir",
      "properties": {"AccessRead": true, "AccessScript": true, "Path": "/srv/www",
                     "AspEnableParentPaths": true, "AppIsolated": 2, "AppRoot": "/LM/W3SVC/9/ROOT",
                     "AppFriendlyName": "Default Application"},
      "children": []}]})"));

  EXPECT_EQ(Brindle({"site", "del", "9"}).out, "Deleted web site 9\n");
  EXPECT_FALSE(MetabaseFixture(root()).Exists("IIS://LocalHost/W3SVC/9/ROOT"));
  Outcome again = Brindle({"site", "del", "9"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "brindlecore: no site 9 in " + root().string() + "\n");
  // Only sites are deleted by number, never the service's other children.
  EXPECT_EQ(Brindle({"site", "del", "Info"}).status, 1);
  EXPECT_TRUE(MetabaseFixture(root()).Exists("IIS://LocalHost/W3SVC/Info"));
}

TEST_F(SiteCommandsTest, RefusedAdditionsLeaveNothing) {
  MetabaseFixture(root()).WebService().Site("3");
  Outcome taken = Brindle({"site", "add", "--number", "3", "--comment", "Again"});
  EXPECT_EQ(taken.status, 1);
  EXPECT_EQ(taken.err, "brindlecore: site 3 already exists\n");
  EXPECT_EQ(MetabaseFixture(root()).Property("IIS://LocalHost/W3SVC/3", "ServerComment"),
            Variant(""));
  for (auto args :
       std::vector<std::vector<std::string>>{{"site", "add", "--binding", "10.0.0.5:80"},
                                             {"site", "add", "--binding", "::"},
                                             {"site", "add", "--binding", ":99999:"},
                                             {"site", "add", "--number", "0"},
                                             {"site", "show"}}) {
    EXPECT_EQ(Brindle(args).status, 2) << args.back();
  }
  EXPECT_FALSE(MetabaseFixture(root()).Exists("IIS://LocalHost/W3SVC/4"));
}

TEST_F(SiteCommandsTest, FavoritesListAsTextAndJson) {
  EXPECT_EQ(Brindle({"favorites", "list", "--json"}).out, "[]\n");
  auto platform = platform::MakePlatform(root());
  platform->AddFavorite("http://stats/b", Variant("Beta"));
  platform->AddFavorite("http://stats/a", Variant("Alpha"));
  EXPECT_EQ(nlohmann::json::parse(Brindle({"favorites", "list", "--json"}).out),
            nlohmann::json::parse(R"([{"title": "Alpha", "url": "http://stats/a"},
                                      {"title": "Beta", "url": "http://stats/b"}])"));
  EXPECT_EQ(Brindle({"favorites", "list"}).out, "Alpha\thttp://stats/a\nBeta\thttp://stats/b\n");
}

}  // namespace
}  // namespace brindlecore::testing
