#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kService[] = "IIS://LocalHost/W3SVC";
constexpr char kNotFound[] = "-2147024893 ,The system cannot find the path specified.";

class WebServerTest : public RootTest {
 protected:
  WebServerTest() { sites_.WebService(); }

  CallOutcome Create(platform::Platform& platform, const std::string& ip, const std::string& port,
                     const std::string& pv_error = "") {
    return CallMethod(platform, "CreateVirtualWebServer",
                      {Val(Variant(ip)), Val(Variant(port)), Val(Variant("/srv/www")),
                       Val(Variant("Sales")), Ref(Variant(pv_error))});
  }
  CallOutcome List(platform::Platform& platform, const std::string& pv_error) {
    return CallMethod(platform, "GetVirtualWebServers", {Ref(Variant(pv_error))});
  }
  CallOutcome Start(const std::string& number, const std::string& pv_error) {
    return CallMethod(*platform_, "StartVirtualWebServer",
                      {Ref(Variant(number)), Ref(Variant(pv_error))});
  }
  CallOutcome CreateDir(const std::string& site, const std::string& name) {
    return CallMethod(*platform_, "CreateVirtualDir",
                      {Ref(Variant(site)), Ref(Variant(name)), Ref(Variant("/srv/reports")),
                       Ref(Variant("old"))});
  }
  Variant Property(const std::string& path, const std::string& name) {
    return sites_.Property(std::string(kService) + path, name);
  }
  // A root of its own for one table row, so rows cannot see each other's sites.
  struct Fresh : TestRoot {
    Fresh() { sites.WebService(); }
  };
};

TEST_F(WebServerTest, NewSiteTakesTheNumberAfterTheHighest) {
  const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
      {{}, "1", ""},
      {{"10", "9"}, "11", ""},
      {{"007"}, "8", ""},
      {{"1", "staging"}, "0", "13 ,Type mismatch"},  // a site name that is no number
  };
  for (const auto& [existing, expected, error] : cases) {
    Fresh f;
    f.sites.Child("AppPools", "IIsApplicationPools");
    for (const auto& number : existing) f.sites.Site(number);
    CallOutcome out = Create(*f.platform, "", "80");
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.result, Variant(expected));
    EXPECT_EQ(out.text(4), error);
    // A failed creation leaves no site behind.
    const std::string made = error.empty() ? "/" + expected + "/ROOT" : "/2";
    EXPECT_EQ(f.sites.Exists(kService + made), error.empty());
  }
}

TEST_F(WebServerTest, NewSiteHasBindingAndApplicationRoot) {
  CallOutcome out = Create(*platform_, "", "8080", "kept");
  EXPECT_EQ(out.result, Variant("1"));
  EXPECT_EQ(out.text(4), "kept");
  const std::tuple<const char*, const char*, Variant> stored[] = {
      {"/1", "ServerComment", Variant("Sales")},
      {"/1", "ServerBindings", Variant::Strings({":8080:"})},
      {"/1", "ServerState", Variant()},  // not started
      {"/1/ROOT", "Path", Variant("/srv/www")},
      {"/1/ROOT", "AccessRead", Variant(true)},
      {"/1/ROOT", "AccessScript", Variant(true)},
      {"/1/ROOT", "AspEnableParentPaths", Variant(true)},
      {"/1/ROOT", "AppIsolated", Variant(int32_t{2})},
      {"/1/ROOT", "AppFriendlyName", Variant("Default Application")},
  };
  for (const auto& [path, name, value] : stored) EXPECT_EQ(Property(path, name), value) << name;
  EXPECT_EQ(Create(*platform_, "10.0.0.5", "81").result, Variant("2"));
  EXPECT_EQ(Property("/2", "ServerBindings"), Variant::Strings({"10.0.0.5:81:"}));
}

// Each step that can fail after the site exists: what stays is what was stored before it.
TEST_F(WebServerTest, FailureLeavesWhatWasStoredBefore) {
  struct Case {
    const char* operation;
    const char* path;
    int nth;
    bool has_bindings, has_root, has_app;
  };
  const Case cases[] = {
      {"SetInfo", "W3SVC/1", 2, false, false, false},
      {"Create", "W3SVC/1", 1, true, false, false},
      {"SetInfo", "W3SVC/1/ROOT", 1, true, true, false},
      {"AppCreate2", "W3SVC/1/ROOT", 1, true, true, false},
      {"SetInfo", "W3SVC/1/ROOT", 2, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.operation) + " " + std::to_string(c.nth));
    Fresh f;
    FaultPlatform faults(*f.platform);
    faults.Fail(c.operation, c.path, c.nth, errors::kEAccessdenied.Make());
    CallOutcome out = Create(faults, "", "80", "before");
    EXPECT_TRUE(faults.AllFired());
    EXPECT_EQ(out.result, Variant("0"));
    EXPECT_EQ(out.text(4), "before -2147024891 ,Access is denied.");
    const std::string site = std::string(kService) + "/1";
    EXPECT_EQ(f.sites.Property(site, "ServerComment"), Variant("Sales"));
    EXPECT_EQ(!f.sites.Property(site, "ServerBindings").IsEmpty(), c.has_bindings);
    EXPECT_EQ(f.sites.Exists(site + "/ROOT"), c.has_root);
    EXPECT_EQ(!f.sites.Property(site + "/ROOT", "AppIsolated").IsEmpty(), c.has_app);
    EXPECT_TRUE(f.sites.Property(site + "/ROOT", "AppFriendlyName").IsEmpty());
  }
}

TEST_F(WebServerTest, ListShowsSitesWithTheirAddresses) {
  using Sites = std::vector<std::pair<std::string, std::vector<std::string>>>;
  const std::pair<Sites, std::string> cases[] = {
      {{}, ""},
      {{{"Sales", {":80:"}}, {"Shop", {"10.0.0.5:8080:", ":8081:shop"}}},
       "1-Sales (LocalHost:80)\t2-Shop (10.0.0.5:8080) (LocalHost:8081)\t"},
      {{{"", {"10.0.0.5:80:shop"}}}, "1- (10.0.0.5:80)\t"},  // host header dropped
      {{{"Bare", {}}}, "1-Bare\t"},
  };
  for (const auto& [sites, text] : cases) {
    Fresh f;
    int number = 0;
    for (const auto& [comment, bindings] : sites) {
      f.sites.Site(std::to_string(++number), comment, bindings);
    }
    f.sites.Child("AppPools", "IIsApplicationPools");
    CallOutcome out = List(*f.platform, "kept");
    EXPECT_EQ(out.result, Variant(text));
    EXPECT_EQ(out.text(0), "kept");
  }
}

TEST_F(WebServerTest, BadBindingEndsTheListWithTheTextSoFar) {
  for (const char* binding : {"10.0.0.5:8080", ":8081", "nocolon", ""}) {
    Fresh f;
    f.sites.Site("1", "Sales").Site("2", "Shop", {":81:", binding, ":82:"}).Site("3");
    CallOutcome out = List(*f.platform, "replaced");
    EXPECT_EQ(out.result, Variant("1-Sales (LocalHost:80)\t2-Shop (LocalHost:81)")) << binding;
    EXPECT_EQ(out.text(0), "5 ,Invalid procedure call or argument") << binding;
  }
}

TEST_F(WebServerTest, StartMarksAnExistingSiteStarted) {
  sites_.Site("4");
  CallOutcome started = Start("4", "kept");
  EXPECT_EQ(started.result, Variant(true));
  EXPECT_EQ(started.text(1), "kept");
  EXPECT_EQ(Property("/4", "ServerState"), Variant(int32_t{2}));
  for (const char* number : {"5", ""}) {
    CallOutcome out = Start(number, "old");
    EXPECT_EQ(out.result, Variant(false)) << number;
    EXPECT_EQ(out.text(1), kNotFound) << number;
  }
}

// No name points the site's root at the folder, with the new site's root set-up; a named
// directory is made once, then reported as existing whatever the letter case.
TEST_F(WebServerTest, VirtualDirIsTheRootOrANamedDirectory) {
  sites_.Site("4", "Shop");
  platform_->GetObject(std::string(kService) + "/4")->Create("IIsWebVirtualDir", "ROOT");
  CallOutcome root = CreateDir("4", "");
  ASSERT_FALSE(root.error) << root.error->description;
  EXPECT_EQ(root.result, Variant(true));
  EXPECT_EQ(root.text(3), "");
  EXPECT_EQ(Property("/4/ROOT", "Path"), Variant("/srv/reports"));
  EXPECT_EQ(Property("/4/ROOT", "AppFriendlyName"), Variant("Default Application"));

  CallOutcome named = CreateDir("4", "reports");
  EXPECT_EQ(named.result, Variant(true));
  EXPECT_EQ(named.text(3), "");
  const std::pair<const char*, Variant> stored[] = {
      {"Path", Variant("/srv/reports")}, {"AccessRead", Variant(true)},
      {"AccessScript", Variant(true)},   {"AspEnableParentPaths", Variant()},
      {"AppIsolated", Variant()},
  };
  for (const auto& [name, value] : stored) {
    EXPECT_EQ(Property("/4/ROOT/reports", name), value) << name;
  }

  CallOutcome again = CreateDir("4", "REPORTS");
  EXPECT_EQ(again.result, Variant(true));
  EXPECT_EQ(again.text(3),
            "Error: -2147024713 ,Cannot create a file when that file already exists.\r\n"
            "NOTE: This error can occur when using an existing virtual\r\n"
            "directory, especially when reinstalling - please ignore.");
}

TEST_F(WebServerTest, VirtualDirOnAMissingSiteOrRootFailsWithTheBindError) {
  sites_.Site("4", "Shop");  // no root directory yet; site 5 does not exist at all
  for (const auto& [site, name] : std::vector<std::pair<std::string, std::string>>{
           {"5", ""}, {"5", "reports"}, {"4", ""}, {"4", "reports"}}) {
    CallOutcome out = CreateDir(site, name);
    EXPECT_EQ(out.result, Variant(false)) << site << "/" << name;
    EXPECT_EQ(out.text(3), kNotFound) << site << "/" << name;
  }
}

TEST_F(WebServerTest, AddFavoriteWritesTheShortcutAndReportsFailures) {
  auto add = [&](const std::string& url, const std::string& title) {
    return CallMethod(*platform_, "AddFavorite",
                      {Ref(Variant(url)), Ref(Variant(title)), Ref(Variant("old"))});
  };
  CallOutcome out = add("http://stats.example/", "Stats: daily");
  EXPECT_EQ(out.result, Variant(true));
  EXPECT_EQ(out.text(2), "");
  EXPECT_EQ(ReadFile(dir_.path() / "favorites" / "Stats_ daily.url"),
            "[InternetShortcut]\nURL=http://stats.example/\n");

  CallOutcome empty = add("", "Nothing");
  EXPECT_EQ(empty.result, Variant(false));
  EXPECT_EQ(empty.text(2), "-2147024809 ,The parameter is incorrect.");
}

}  // namespace
}  // namespace brindlecore::testing
