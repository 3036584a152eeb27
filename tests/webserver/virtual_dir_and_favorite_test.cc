#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kSite4[] = "IIS://LocalHost/W3SVC/4";

class VirtualDirTest : public RootTest {
 protected:
  VirtualDirTest() { sites_.WebService().Site("4", "Shop"); }

  CallOutcome CreateDir(const std::string& site, const std::string& name,
                        const std::string& pv_error = "old") {
    return CallMethod(*platform_, "CreateVirtualDir",
                      {Ref(Variant(site)), Ref(Variant(name)), Ref(Variant("/srv/reports")),
                       Ref(Variant(pv_error))});
  }
};

TEST_F(VirtualDirTest, EmptyNamePointsTheSiteRootAtTheFolder) {
  platform_->GetObject(kSite4)->Create("IIsWebVirtualDir", "ROOT");
  CallOutcome out = CreateDir("4", "");
  ASSERT_FALSE(out.error) << out.error->description;
  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(out.text(3), "");
  const std::string root = std::string(kSite4) + "/ROOT";
  // The root's set-up is the new site's (virtual_web_servers_test.cc): its first and last steps.
  EXPECT_EQ(sites_.Property(root, "Path"), Variant("/srv/reports"));
  EXPECT_EQ(sites_.Property(root, "AppFriendlyName"), Variant("Default Application"));
}

TEST_F(VirtualDirTest, NamedDirectoryIsCreatedOnceThenReportedAsExisting) {
  platform_->GetObject(kSite4)->Create("IIsWebVirtualDir", "ROOT");
  CallOutcome first = CreateDir("4", "reports");
  EXPECT_EQ(first.result, Variant(true));
  EXPECT_EQ(first.text(3), "");
  EXPECT_EQ(first.text(0), "4");
  EXPECT_EQ(first.text(1), "reports");
  EXPECT_EQ(first.text(2), "/srv/reports");
  const std::string dir = std::string(kSite4) + "/ROOT/reports";
  EXPECT_EQ(sites_.Property(dir, "Path"), Variant("/srv/reports"));
  EXPECT_EQ(sites_.Property(dir, "AccessRead"), Variant(true));
  EXPECT_EQ(sites_.Property(dir, "AccessScript"), Variant(true));
  EXPECT_TRUE(sites_.Property(dir, "AspEnableParentPaths").IsEmpty());
  EXPECT_TRUE(sites_.Property(dir, "AppIsolated").IsEmpty());

  CallOutcome again = CreateDir("4", "REPORTS");
  EXPECT_EQ(again.result, Variant(true));
  EXPECT_EQ(again.text(3),
            "Error: -2147024713 ,Cannot create a file when that file already exists.\r\n"
            "NOTE: This error can occur when using an existing virtual\r\n"
            "directory, especially when reinstalling - please ignore.");
}

TEST_F(VirtualDirTest, MissingSiteOrRootFailsWithTheBindError) {
  const std::string not_found = "-2147024893 ,The system cannot find the path specified.";
  // Site 4 has no root directory yet, site 5 does not exist at all.
  for (const auto& [site, name] : std::vector<std::pair<std::string, std::string>>{
           {"5", ""}, {"5", "reports"}, {"4", ""}, {"4", "reports"}}) {
    CallOutcome out = CreateDir(site, name);
    EXPECT_EQ(out.result, Variant(false)) << site << "/" << name;
    EXPECT_EQ(out.text(3), not_found) << site << "/" << name;
  }
}

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AddFavoriteTest, WritesTheShortcutAndReportsFailures) {
  TestRoot root;
  const std::filesystem::path& dir = root.dir.path();
  auto add = [&](const std::string& url, const std::string& title) {
    return CallMethod(*root.platform, "AddFavorite",
                      {Ref(Variant(url)), Ref(Variant(title)), Ref(Variant("old"))});
  };
  CallOutcome out = add("http://stats.example/", "Stats: daily");
  ASSERT_FALSE(out.error) << out.error->description;
  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(out.text(0), "http://stats.example/");
  EXPECT_EQ(out.text(1), "Stats: daily");
  EXPECT_EQ(out.text(2), "");
  EXPECT_EQ(Slurp(dir / "favorites" / "Stats_ daily.url"),
            "[InternetShortcut]\nURL=http://stats.example/\n");

  CallOutcome empty = add("", "Nothing");
  EXPECT_EQ(empty.result, Variant(false));
  EXPECT_EQ(empty.text(2), "-2147024809 ,The parameter is incorrect.");
  EXPECT_FALSE(std::filesystem::exists(dir / "favorites" / "Nothing.url"));
}

}  // namespace
}  // namespace brindlecore::testing
